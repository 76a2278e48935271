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
}
