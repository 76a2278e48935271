// Empire AI: what every new empire is given when it joins the game.

// Places one ship part, by its "System:" id (Sub Systems/ship_parts.txt), on
// the design being drawn. Every part's room ("Size") is its own scale times
// the design's, so a design fits when the scales of its parts, armour aside,
// add up to no more than the frame's.
void place(const string &in part, float scale, float x, float y) {
	addSysToActiveHull(getSubSystemDefByName(part), scale, pos2df(x, y));
}

// Starts a new design at the given overall scale.
void startDesign(float scale) {
	clearActiveHull();
	setActiveHullMetaData(0);
	setActiveHullScale(scale);
}

// The starting designs, one for each kind of ship the empire needs early
// on. Each is registered for the empire being set up (the active empire).
void registerEmpireData(Empire@ emp) {
	// Scout: fast and unarmed; it explores and never picks a fight.
	startDesign(1);
	place("Frame Hull", 1, 0, 0);
	place("Ion Drive", 0.5f, -1, 0);
	place("Plate Armor", 0.5f, 1, 0);
	setActiveHullAllowTargets(false, false);
	finalizeActiveHull("Scout");

	// Colony ship: settlers for a new world, with no arms beside them. It
	// may aim at planets, or its pod could never be used on one, but never
	// at ships.
	startDesign(2);
	place("Frame Hull", 2, 0, 0);
	place("Ion Drive", 0.5f, -1.5f, 0);
	place("Colony Pod", 1.5f, 0.5f, 0);
	place("Plate Armor", 0.5f, 1.5f, 0);
	setActiveHullAllowTargets(false, true);
	finalizeActiveHull("Colony Ship");

	// Freighter: a hold on an engine; it trades on its own.
	startDesign(2);
	place("Frame Hull", 2, 0, 0);
	place("Ion Drive", 0.5f, -1.5f, 0);
	place("Cargo Hold", 1.5f, 0.5f, 0);
	setActiveHullAllowTargets(false, false);
	finalizeActiveHull("Freighter");

	// Frigate: the line warship, lasers behind armour.
	startDesign(3);
	place("Frame Hull", 2, 0, 0);
	place("Ion Drive", 0.5f, -1.5f, 0);
	place("Laser Array", 1.5f, 1, 0);
	place("Plate Armor", 1, 2, 0);
	finalizeActiveHull("Frigate");

	// Outpost: an armed station with a store; it has no engine and stays
	// where it is built.
	startDesign(4);
	place("Frame Hull", 3, 0, 0);
	place("Laser Array", 1.5f, 1, -1);
	place("Cargo Hold", 1.5f, -1, 1);
	place("Plate Armor", 1, 2, 0);
	setActiveHullOrbitTargets(false);
	finalizeActiveHull("Outpost");

	// Carrier: a hangar for smaller craft, once Logistics makes one
	// available (the hangar's own rule), with a laser of its own.
	if (evaluateFormula("Techs.Logistics.Level", emp) >= 1) {
		startDesign(5);
		place("Frame Hull", 4, 0, 0);
		place("Ion Drive", 1, -2, 0);
		place("Hangar Deck", 2, 0.5f, 1);
		place("Laser Array", 1, 0.5f, -1);
		place("Plate Armor", 1, 2, 0);
		finalizeActiveHull("Carrier");
	}
	clearActiveHull();

	// A computer player's empire is run by its council.
	if (emp.isAI())
		emp.regScriptData("empire_ai", "Council");
}

// Seconds of play between two research decisions.
const double researchPeriod = 60;
// Research points a council's empire earns each second.
const double researchRate = 1;
// The number of entries in the research rotation.
const uint rotationLength = 12;

// Entry `place` of the research rotation: the technology to work on and the
// index of its link to pay, or -1 for its next level. The basics come first,
// then the way out towards colonies, industry and arms. Every link index
// is below the link count of its technology (Technologies/*.txt).
string@ rotationEntry(uint place, int &out link) {
	link = -1;
	switch (place % rotationLength) {
	case 0: return "Science";
	case 1: return "Engineering";
	case 2: link = 0; return "Science";     // to Engineering
	case 3: link = 1; return "Science";     // to Biology
	case 4: return "Biology";
	case 5: link = 2; return "Engineering"; // to Industry
	case 6: link = 0; return "Biology";     // to Colonization
	case 7: return "Industry";
	case 8: link = 0; return "Engineering"; // to Propulsion
	case 9: link = 0; return "Industry";    // to Logistics
	case 10: link = 1; return "Engineering"; // to Armor
	}
	link = 2; return "Science";             // to Beams
}

// Reads a whole number that the council saved; anything unreadable or
// negative counts as 0.
uint savedNumber(XMLReader@ xml, const string &in name) {
	if (!xml.hasAttribute(name))
		return 0;
	int value = s_to_i(xml.getAttributeValue(name));
	return value > 0 ? uint(value) : 0;
}

// The mind of a computer player's empire. It keeps to a fixed research
// rotation and makes peace whenever it is offered.
class Council {
	// Game seconds this council has run its empire.
	double running = 0;
	// Diplomatic messages it gave an answer to.
	uint answered = 0;
	// Research decisions made so far; the next one takes entry
	// `turns % rotationLength` once `running` reaches turns * researchPeriod.
	uint turns = 0;

	Council(Empire@ emp) {
	}

	// A council restored from a saved game.
	Council(Empire@ emp, XMLReader@ xml) {
		while (xml.advance()) {
			if (xml.getNodeType() != XN_Element || xml.getNodeName() != "council")
				continue;
			running = double(savedNumber(xml, "seconds")) + double(savedNumber(xml, "micros")) / 1000000.0;
			answered = savedNumber(xml, "answered");
			turns = savedNumber(xml, "turns");
		}
	}

	// The running time goes as whole seconds and millionths, rounded up so
	// that a restored council has never run less than it had.
	void save(XMLWriter@ xml) {
		uint seconds = uint(running);
		double fraction = (running - double(seconds)) * 1000000.0;
		uint micros = uint(fraction);
		if (double(micros) < fraction)
			++micros;
		if (micros >= 1000000) {
			++seconds;
			micros = 0;
		}
		xml.addElement("council", true, "seconds", "" + seconds, "micros", "" + micros,
		               "answered", "" + answered, "turns", "" + turns);
	}

	void tick(Empire@ emp, float seconds) {
		// A player who took the empire over runs it now.
		if (!emp.isAI())
			return;
		running += seconds;
		if (running < double(turns) * researchPeriod)
			return;

		ResearchWeb web;
		web.prepare(emp);
		// No effect raises the rate of research, so a new council sets it.
		if (turns == 0)
			web.setResearchRate(researchRate);
		// A technology the empire cannot see yet is passed over and the
		// current target kept.
		int link = -1;
		string@ tech = rotationEntry(turns, link);
		if (link < 0)
			web.setActiveTech(tech);
		else
			web.setActiveTech(tech, uint16(link));
		++turns;
		web.prepare(null);
	}

	void onDiplomaticMessage(Empire@ emp, Empire@ from, DiploMsg@ msg) {
		// The player of a taken-over empire answers for it.
		if (!emp.isAI())
			return;
		switch (msg.getTopic()) {
		case DT_Peace:
			msg.setResponse(true);
			++answered;
			break;
		case DT_War:
			// Nothing to answer: the war is on either way.
			break;
		default:
			msg.setResponse(false);
			++answered;
		}
		msg.finish();
	}
}
