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
	// at ships. Half its room is engine: a slower ship loses the worlds it
	// flies to to its neighbours' settlers, and crosses the gaps between
	// systems too late to matter.
	startDesign(2);
	place("Frame Hull", 2, 0, 0);
	place("Ion Drive", 1, -1.5f, 0);
	place("Colony Pod", 1, 0.5f, 0);
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

// Research points a council's empire earns each second.
const double researchRate = 1;

// The council's phases. Each runs at its own interval of the council's
// running time; a tick runs at most one phase, the first one due, so the
// phases fall on different ticks.
enum Phase {
	PH_Research,
	PH_Planets,
	PH_Exploring,
	PH_Colonising,
	PH_Building,
	PH_Defending,
	PH_Diplomacy,
	PH_COUNT
}

// Names of the phases in the saved state, in Phase order.
const string[] phaseNames = {"research", "planets", "exploring", "colonising", "building", "defending", "diplomacy"};
// Seconds of running time between two runs of each phase, in Phase order.
const double[] phaseIntervals = {10, 10, 5, 5, 10, 10, 30};

// Seconds between two design updates.
const double hullUpdatePeriod = 60;
// Seconds of war with a stronger empire before the council asks for peace.
const double warWeariness = 600;

// The designs the council builds from, by role.
const string scoutDesign = "Scout";
const string colonyDesign = "Colony Ship";
const string warshipDesign = "Frigate";
// Every design the council keeps up to date.
const string[] councilDesigns = {"Scout", "Colony Ship", "Freighter", "Frigate", "Outpost", "Carrier"};

// Ships the council wants in service or queued. Colony ships count only
// while they have not settled (see isSpentColonyShip).
const uint colonyShipsWanted = 3;
// Colony ships built at most, those that settled included.
const uint mostColonyShips = 4;
const uint firstWarships = 2;
// One more warship for every so many seconds of running time, up to a cap.
const double warshipGrowthPeriod = 150;
const uint mostWarships = 12;
// A second scout once the council has run this long.
const double secondScoutAfter = 300;
// A planet with this many items queued takes no more ships: its governor
// waits for an empty queue before it adds a structure.
const uint longestBuildQueue = 1;

// The research the council wants first: a technology and the level to reach,
// or, with a link index, the link to pay until the technology at its end is
// visible. Every link index is below the link count of its technology
// (Technologies/*.txt).
class ResearchGoal {
	string tech;
	float level;
	int link;
	string opens;
	ResearchGoal() {}
	ResearchGoal(const string &in t, float l) { tech = t; level = l; link = -1; }
	ResearchGoal(const string &in t, int index, const string &in target) { tech = t; level = 0; link = index; opens = target; }
}

ResearchGoal@[]@ researchGoals() {
	ResearchGoal@[] goals;
	goals.insertLast(ResearchGoal("Science", 2));
	goals.insertLast(ResearchGoal("Engineering", 2));
	goals.insertLast(ResearchGoal("Science", 1, "Biology"));
	goals.insertLast(ResearchGoal("Engineering", 2, "Industry"));
	goals.insertLast(ResearchGoal("Biology", 0, "Colonization"));
	goals.insertLast(ResearchGoal("Industry", 1));
	goals.insertLast(ResearchGoal("Engineering", 1, "Armor"));
	goals.insertLast(ResearchGoal("Science", 2, "Beams"));
	goals.insertLast(ResearchGoal("Industry", 0, "Logistics"));
	return goals;
}

// Reads a whole number that the council saved; anything unreadable or
// negative counts as 0.
uint savedNumber(XMLReader@ xml, const string &in name) {
	if (!xml.hasAttribute(name))
		return 0;
	int value = s_to_i(xml.getAttributeValue(name));
	return value > 0 ? uint(value) : 0;
}

// The roles of the empires in a colonising search's list.
const uint ROLE_SELF = 0;
const uint ROLE_ENEMY = 1;
const uint ROLE_OTHER = 2;
const uint ROLE_SPACE = 3;

// Exploring: a system the searching empire (the settings' first) has never
// visited scores 1. Reads only its arguments.
float scoreUnvisited(SysSearchSettings& settings, const SysStats& stats) {
	Empire@ emp = settings.getEmpire(0);
	if (emp is null)
		return 0;
	return stats.getStat(emp, "visited") == 0 ? 1 : 0;
}

// Colonising: the free planets of a system (the space empire's planets less
// every listed empire's), nothing where the listed enemies are stronger than
// the searching empire. Reads only its arguments.
float scoreColonyTarget(SysSearchSettings& settings, const SysStats& stats) {
	float free = 0, ours = 0, theirs = 0;
	for (uint i = 0; i < settings.empireCount; ++i) {
		uint role = ROLE_OTHER;
		Empire@ other = settings.getEmpire(i, role);
		if (other is null)
			continue;
		float planets = stats.getStat(other, "planets");
		if (role == ROLE_SPACE) {
			free += planets;
			continue;
		}
		free -= planets;
		if (role == ROLE_SELF)
			ours += stats.getStat(other, "str");
		else if (role == ROLE_ENEMY)
			theirs += stats.getStat(other, "str");
	}
	if (free < 0.5f || theirs > ours)
		return 0;
	return free;
}

// What a ship is to the council, by its design.
enum ShipRole { SR_Other, SR_Scout, SR_Colony, SR_Warship }

ShipRole roleOf(const HullLayout@ hull) {
	if (hull is null)
		return SR_Other;
	if (hull.hasSystemWithTag("Colonizer"))
		return SR_Colony;
	if (hull.getName() == scoutDesign)
		return SR_Scout;
	if (hull.hasSystemWithTag("Weapon") && hull.hasSystemWithTag("Engine"))
		return SR_Warship;
	return SR_Other;
}

ShipRole roleOfDesign(const string &in name) {
	if (name == scoutDesign)
		return SR_Scout;
	if (name == colonyDesign)
		return SR_Colony;
	if (name == warshipDesign)
		return SR_Warship;
	return SR_Other;
}

// A ship with nothing to do: no orders but standing ones (a new ship may
// come with its design's), and no colonising order among them.
bool hasNoOrders(Object@ ship) {
	OrderList orders;
	if (!orders.prepare(ship))
		return false;
	for (uint i = 0, cnt = orders.getOrderCount(); i < cnt; ++i) {
		Order@ order = orders.getOrder(i);
		if (order !is null && (!order.isAutomation() || order.getType() == OrdT_Colonize))
			return false;
	}
	return true;
}

// Whether the ship has an order of `type`.
bool hasOrderOfType(Object@ ship, OrderType type) {
	OrderList orders;
	if (!orders.prepare(ship))
		return false;
	for (uint i = 0, cnt = orders.getOrderCount(); i < cnt; ++i) {
		Order@ order = orders.getOrder(i);
		if (order !is null && order.getType() == type)
			return true;
	}
	return false;
}

// A ship whose orders are all standing ones (a warship holding its system).
bool onlyStandingOrders(Object@ ship) {
	OrderList orders;
	if (!orders.prepare(ship))
		return false;
	for (uint i = 0, cnt = orders.getOrderCount(); i < cnt; ++i) {
		Order@ order = orders.getOrder(i);
		if (order !is null && !order.isAutomation())
			return false;
	}
	return true;
}

// Whether the system holds a world that a colonising order can still take:
// one that no valid empire owns, with room for a structure.
bool hasFreePlanet(System@ sys) {
	if (sys is null)
		return false;
	bool found = false;
	SysObjList list;
	list.prepare(sys);
	for (uint c = 0; c < list.childCount && !found; ++c) {
		Object@ child = list.getChild(c);
		if (child is null)
			continue;
		Planet@ planet = child.toPlanet();
		if (planet is null || planet.getMaxStructureCount() < 1)
			continue;
		Empire@ owner = child.getOwner();
		found = owner is null || !owner.isValid();
	}
	list.prepare(null);
	return found;
}

// Where a search on behalf of `ship` starts: the position of the system it
// is in. A system never moves, while the ship's own position is written by
// the thread that ticks its system as the council reads it. A ship between
// systems gives its own.
vector searchOrigin(Object@ ship) {
	System@ sys = ship.getCurrentSystem();
	if (sys !is null)
		return sys.toObject().getPosition();
	return ship.getPosition();
}

// Whether ships can be built at the planet: every design costs
// electronics, which only a planet with a store for them ever holds (a new
// colony has none). A ship queued elsewhere would wait for ever, and hold
// up the colony's own governor behind it.
bool canBuildShips(const Object@ planet) {
	float val = 0, max = 0, required = 0, cargo = 0;
	return planet.getStateVals("Electronics", val, max, required, cargo) && max > 0;
}

// A colony ship that has reached its system: only standing orders are
// left, its colonising order among them, which settles the planets there one
// by one, as long as one is free (see isStrandedColonyShip).
bool isSpentColonyShip(Object@ ship) {
	OrderList orders;
	if (!orders.prepare(ship))
		return false;
	bool colonising = false;
	for (uint i = 0, cnt = orders.getOrderCount(); i < cnt; ++i) {
		Order@ order = orders.getOrder(i);
		if (order is null)
			continue;
		if (!order.isAutomation())
			return false;
		if (order.getType() == OrdT_Colonize)
			colonising = true;
	}
	return colonising && hasFreePlanet(ship.getCurrentSystem());
}

// A colony ship whose colonising order has nothing left to take where it is
// (others settled the system's last free world first, or it stopped between
// systems): the council sends it on as if it were new.
bool isStrandedColonyShip(Object@ ship) {
	OrderList orders;
	if (!orders.prepare(ship))
		return false;
	bool colonising = false;
	for (uint i = 0, cnt = orders.getOrderCount(); i < cnt; ++i) {
		Order@ order = orders.getOrder(i);
		if (order is null)
			continue;
		if (!order.isAutomation())
			return false;
		if (order.getType() == OrdT_Colonize)
			colonising = true;
	}
	return colonising && !hasFreePlanet(ship.getCurrentSystem());
}

// The mind of a computer player's empire. It researches, governs its
// planets, explores, colonises, builds ships, defends its systems and
// answers diplomacy, each in a phase of its own.
class Council {
	// Game seconds this council has run its empire.
	double running = 0;
	// Diplomatic messages it gave an answer to.
	uint answered = 0;
	// Research decisions made so far.
	uint turns = 0;
	// The running time at which each phase runs next, in Phase order.
	double[] nextPhase;
	// The running time of the next design update.
	double nextHullUpdate = hullUpdatePeriod;

	// One search per purpose, kept across ticks until it has finished, and
	// the ship it is for.
	SysSearchSettings exploreSearch;
	Object@ exploreShip;
	System@ lastExplored;
	SysSearchSettings colonySearch;
	Object@ colonyShip;
	System@ lastColonised;

	// When the war with each empire (by ID) began, by running time; below 0
	// while at peace.
	double[] warSince;

	// Every phase is due at once: the first ticks run one each.
	Council(Empire@ emp) {
		start();
	}

	void start() {
		nextPhase.resize(PH_COUNT);
		for (uint i = 0; i < PH_COUNT; ++i)
			nextPhase[i] = 0;
		warSince.resize(256);
		for (uint i = 0; i < warSince.length(); ++i)
			warSince[i] = -1;
	}

	// A council restored from a saved game.
	Council(Empire@ emp, XMLReader@ xml) {
		start();
		while (xml.advance()) {
			if (xml.getNodeType() != XN_Element)
				continue;
			string@ node = xml.getNodeName();
			if (node == "council") {
				running = double(savedNumber(xml, "seconds")) + double(savedNumber(xml, "micros")) / 1000000.0;
				answered = savedNumber(xml, "answered");
				turns = savedNumber(xml, "turns");
			}
			else if (node == "phase" && xml.hasAttribute("id")) {
				string@ id = xml.getAttributeValue("id");
				for (uint i = 0; i < PH_COUNT; ++i)
					if (phaseNames[i] == id)
						nextPhase[i] = double(savedNumber(xml, "next")) / 1000.0;
			}
		}
		nextHullUpdate = running;
	}

	// The running time goes as whole seconds and millionths, rounded up so
	// that a restored council has never run less than it had; each phase's
	// next time in thousandths.
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
		for (uint i = 0; i < PH_COUNT; ++i) {
			double next = nextPhase[i] > 0 ? nextPhase[i] : 0;
			xml.addElement("phase", true, "id", phaseNames[i], "next", "" + uint(next * 1000.0));
		}
	}

	void tick(Empire@ emp, float seconds) {
		// A player who took the empire over runs it now.
		if (!emp.isAI())
			return;
		running += seconds;
		for (uint i = 0; i < PH_COUNT; ++i) {
			if (running < nextPhase[i])
				continue;
			nextPhase[i] = running + phaseIntervals[i];
			runPhase(emp, Phase(i));
			return;
		}
	}

	void runPhase(Empire@ emp, Phase phase) {
		switch (phase) {
		case PH_Research: research(emp); break;
		case PH_Planets: governPlanets(emp); break;
		case PH_Exploring: explore(emp); break;
		case PH_Colonising: colonise(emp); break;
		case PH_Building: build(emp); break;
		case PH_Defending: defend(emp); break;
		case PH_Diplomacy: diplomacy(emp); break;
		}
	}

	// Research: the first goal of our list still open, else the visible
	// technology below its maximum with the least left to pay.
	void research(Empire@ emp) {
		ResearchWeb web;
		web.prepare(emp);
		// No effect raises the rate of research, so the council sets it.
		if (web.getResearchRate() < researchRate)
			web.setResearchRate(researchRate);
		++turns;

		ResearchGoal@[]@ goals = researchGoals();
		for (uint i = 0; i < goals.length(); ++i) {
			ResearchGoal@ goal = goals[i];
			if (!web.isTechVisible(goal.tech))
				continue;
			if (goal.link < 0) {
				const WebItem@ item = web.getItem(goal.tech);
				if (item is null || item.level >= goal.level)
					continue;
				web.setActiveTech(goal.tech);
			}
			else {
				if (web.isTechVisible(goal.opens))
					continue;
				web.setActiveTech(goal.tech, uint16(goal.link));
			}
			web.prepare(null);
			return;
		}

		const WebItemDesc@ cheapest = null;
		float least = 0;
		for (uint i = 0, cnt = getWebItemDescCount(); i < cnt; ++i) {
			const WebItemDesc@ desc = getWebItemDesc(i);
			if (desc is null || !web.isTechVisible(desc))
				continue;
			const WebItem@ item = web.getItem(desc);
			if (item is null)
				continue;
			float level = 0, progress = 0, cost = 0, most = 0;
			item.getLevels(level, progress, cost, most);
			if (most > 0 && level >= most)
				continue;
			float left = cost - progress;
			if (cheapest is null || left < least) {
				@cheapest = desc;
				least = left;
			}
		}
		if (cheapest !is null)
			web.setActiveTech(cheapest);
		web.prepare(null);
	}

	// Planets: every owned planet governs itself by one of the empire's
	// build lists.
	void governPlanets(Empire@ emp) {
		string@ list = governorList(emp);
		if (list is null)
			return;
		EmpireObjects objects;
		objects.prepare(emp);
		for (bool more = true; more; more = objects.nextObject()) {
			Object@ obj = objects.getObject();
			if (obj is null)
				break;
			Planet@ planet = obj.toPlanet();
			if (planet is null)
				continue;
			if (!planet.usesGovernor())
				planet.setUseGovernor(true);
			if (planet.getGovernorType() != list)
				planet.setGovernorType(list);
		}
		objects.prepare(null);
	}

	// The build list the council's planets follow: "default" when the empire
	// has it, else its first.
	string@ governorList(Empire@ emp) {
		int count = emp.getBuildListCount();
		if (count <= 0)
			return null;
		for (int i = 0; i < count; ++i) {
			string@ name = emp.getBuildList(i);
			if (name == "default")
				return name;
		}
		return emp.getBuildList(0);
	}

	// Walks the empire's objects once, with the list dropped before the
	// caller goes on: its ships of `role` that `wanted` picks, in `ships`.
	void collectShips(Empire@ emp, ShipRole role, Object@[]& ships) {
		EmpireObjects objects;
		objects.prepare(emp);
		for (bool more = true; more; more = objects.nextObject()) {
			Object@ obj = objects.getObject();
			if (obj is null)
				break;
			HulledObj@ ship = obj.toHulledObj();
			if (ship !is null && roleOf(ship.getHull()) == role)
				ships.insertLast(obj);
		}
		objects.prepare(null);
	}

	// The empire's planets, with the list dropped before the caller goes on.
	void collectPlanets(Empire@ emp, Object@[]& planets) {
		EmpireObjects objects;
		objects.prepare(emp);
		for (bool more = true; more; more = objects.nextObject()) {
			Object@ obj = objects.getObject();
			if (obj is null)
				break;
			if (obj.toPlanet() !is null)
				planets.insertLast(obj);
		}
		objects.prepare(null);
	}

	// Exploring: an idle scout goes to the nearest system the empire has not
	// visited. One search at a time: its result is taken on a later run.
	void explore(Empire@ emp) {
		if (exploreShip !is null) {
			if (!exploreSearch.searchFinished)
				return;
			System@ target = exploreSearch.getBestSystem();
			if (target !is null && exploreShip.isValid() && exploreShip.getOwner() is emp && hasNoOrders(exploreShip)) {
				OrderList orders;
				if (orders.prepare(exploreShip))
					orders.giveGotoOrder(target.toObject(), false);
				@lastExplored = target;
			}
			@exploreShip = null;
		}

		Object@[] scouts;
		collectShips(emp, SR_Scout, scouts);
		for (uint i = 0; i < scouts.length(); ++i) {
			if (!hasNoOrders(scouts[i]))
				continue;
			@exploreShip = scouts[i];
			exploreSearch.clearEmpires();
			exploreSearch.addEmpire(emp);
			exploreSearch.setCallback("empire_ai::scoreUnvisited");
			exploreSearch.setSearchPos(searchOrigin(scouts[i]));
			exploreSearch.setAvoidSystem(scouts[i].getCurrentSystem());
			exploreSearch.findBestSystem();
			return;
		}
	}

	// Colonising: an idle colony ship goes to the nearest system with free
	// planets and no stronger enemies, and settles there.
	void colonise(Empire@ emp) {
		if (colonyShip !is null) {
			if (!colonySearch.searchFinished)
				return;
			System@ target = colonySearch.getBestSystem();
			if (target !is null && colonyShip.isValid() && colonyShip.getOwner() is emp && hasNoOrders(colonyShip)) {
				OrderList orders;
				if (orders.prepare(colonyShip)) {
					orders.giveGotoOrder(target.toObject(), false);
					orders.giveOrder("Colonize", null, null, true);
				}
				@lastColonised = target;
			}
			@colonyShip = null;
		}

		Object@[] ships;
		collectShips(emp, SR_Colony, ships);
		for (uint i = 0; i < ships.length(); ++i) {
			if (isStrandedColonyShip(ships[i])) {
				OrderList stranded;
				if (stranded.prepare(ships[i]))
					stranded.clearOrders(true);
			}
			if (!hasNoOrders(ships[i]))
				continue;
			@colonyShip = ships[i];
			colonySearch.clearEmpires();
			for (uint e = 0, cnt = getEmpireCount(); e < cnt; ++e) {
				Empire@ other = getEmpire(e);
				if (other is null)
					continue;
				if (other is emp)
					colonySearch.addEmpire(other, ROLE_SELF);
				else if (other.ID == -1)  // the space empire (255)
					colonySearch.addEmpire(other, ROLE_SPACE);
				else if (other.isValid())
					colonySearch.addEmpire(other, emp.isEnemy(other) ? ROLE_ENEMY : ROLE_OTHER);
			}
			colonySearch.setCallback("empire_ai::scoreColonyTarget");
			colonySearch.setSearchPos(searchOrigin(ships[i]));
			colonySearch.setAvoidSystem(lastColonised);
			colonySearch.findBestSystem();
			return;
		}
	}

	// Building: colony ships, scouts and a growing fleet of warships, each
	// queued at the owned planet with the shortest queue among those that
	// can build ships (see canBuildShips); the designs are
	// brought up to date once a minute.
	void build(Empire@ emp) {
		if (running >= nextHullUpdate) {
			nextHullUpdate = running + hullUpdatePeriod;
			for (uint i = 0; i < councilDesigns.length(); ++i) {
				string name = councilDesigns[i];
				if (emp.getShipLayout(name) !is null)
					emp.updateHull(name, 0);
			}
		}

		uint scouts = 0, colonyShips = 0, warships = 0;
		Object@[] planets;
		{
			EmpireObjects objects;
			objects.prepare(emp);
			for (bool more = true; more; more = objects.nextObject()) {
				Object@ obj = objects.getObject();
				if (obj is null)
					break;
				if (obj.toPlanet() !is null) {
					planets.insertLast(obj);
					continue;
				}
				HulledObj@ ship = obj.toHulledObj();
				if (ship is null)
					continue;
				switch (roleOf(ship.getHull())) {
				case SR_Scout: ++scouts; break;
				case SR_Colony: ++colonyShips; break;
				case SR_Warship: ++warships; break;
				}
			}
			objects.prepare(null);
		}
		if (planets.length() == 0)
			return;

		// Spent colony ships stay where they settled and are not counted,
		// but for the cap.
		uint allColonyShips = colonyShips;
		Object@[] colonisers;
		collectShips(emp, SR_Colony, colonisers);
		for (uint i = 0; i < colonisers.length(); ++i)
			if (isSpentColonyShip(colonisers[i]))
				--colonyShips;

		Object@ builder = null;
		uint shortest = 0;
		for (uint i = 0; i < planets.length(); ++i) {
			Object@ planet = planets[i];
			uint queued = planet.getConstructionQueueSize();
			for (uint q = 0; q < queued; ++q) {
				// The planet's system may finish an item meanwhile: past
				// the end of the queue the name is null.
				string@ item = planet.getConstructionName(q);
				if (item is null)
					break;
				switch (roleOfDesign(item)) {
				case SR_Scout: ++scouts; break;
				case SR_Colony: ++colonyShips; ++allColonyShips; break;
				case SR_Warship: ++warships; break;
				}
			}
			if (!canBuildShips(planet))
				continue;
			if (builder is null || queued < shortest) {
				@builder = planet;
				shortest = queued;
			}
		}
		if (builder is null || shortest >= longestBuildQueue)
			return;

		uint scoutsWanted = running >= secondScoutAfter ? 2 : 1;
		uint warshipsWanted = firstWarships + uint(running / warshipGrowthPeriod);
		if (warshipsWanted > mostWarships)
			warshipsWanted = mostWarships;

		string design;
		if (colonyShips < colonyShipsWanted && allColonyShips < mostColonyShips)
			design = colonyDesign;
		else if (scouts < scoutsWanted)
			design = scoutDesign;
		else if (warships < warshipsWanted)
			design = warshipDesign;
		else
			return;
		const HullLayout@ layout = emp.getShipLayout(design);
		if (layout !is null)
			builder.makeShip(layout);
	}

	// Defending: idle warships go as a fleet against the enemy ships in an
	// own system; the others hold their system.
	void defend(Empire@ emp) {
		Object@[] warships;
		collectShips(emp, SR_Warship, warships);
		Object@[] idle;
		for (uint i = 0; i < warships.length(); ++i)
			if (onlyStandingOrders(warships[i]))
				idle.insertLast(warships[i]);

		Object@[] planets;
		collectPlanets(emp, planets);
		System@[] threatened;
		for (uint i = 0; i < planets.length() && idle.length() > 0; ++i) {
			System@ sys = planets[i].getCurrentSystem();
			if (sys is null)
				continue;
			bool seen = false;
			for (uint t = 0; t < threatened.length(); ++t)
				if (threatened[t] is sys)
					seen = true;
			if (seen)
				continue;
			SysPresence presence;
			emp.getSystemPresence(sys, presence);
			if (presence.enemies > 0)
				threatened.insertLast(sys);
		}

		for (uint t = 0; t < threatened.length() && idle.length() > 0; ++t) {
			Object@[] enemies;
			{
				SysObjList list;
				list.prepare(threatened[t]);
				for (uint c = 0; c < list.childCount; ++c) {
					Object@ child = list.getChild(c);
					if (child is null || child.toHulledObj() is null)
						continue;
					Empire@ owner = child.getOwner();
					if (owner !is null && emp.isEnemy(owner))
						enemies.insertLast(child);
				}
				list.prepare(null);
			}
			if (enemies.length() == 0)
				continue;

			Object@ commander = idle[0];
			OrderList orders;
			if (!orders.prepare(commander))
				continue;
			if (!orders.isFleetCommander()) {
				if (orders.isInFleet())
					orders.leaveFleet();
				emp.createFleet(commander);
			}
			for (uint i = 1; i < idle.length(); ++i) {
				if (orders.prepare(idle[i]) && !orders.isInFleet())
					orders.joinFleet(commander);
			}
			if (orders.prepare(commander)) {
				for (uint e = 0; e < enemies.length(); ++e)
					orders.giveAttackOrder(enemies[e], e > 0);
			}
			orders.prepare(null);
			idle.resize(0);
		}

		for (uint i = 0; i < idle.length(); ++i) {
			if (hasOrderOfType(idle[i], OrdT_Defend))
				continue;
			OrderList orders;
			if (orders.prepare(idle[i]))
				orders.giveOrder("Defend", null, null, false);
		}
	}

	// Diplomacy: peace and ceasefire proposals are accepted, others
	// refused; after long enough at war with a stronger empire, the council
	// asks for peace.
	void diplomacy(Empire@ emp) {
		Empire@[] others;
		for (uint e = 0, cnt = getEmpireCount(); e < cnt; ++e) {
			Empire@ other = getEmpire(e);
			if (other !is null && other !is emp && other.isValid() && !other.isReserved())
				others.insertLast(other);
		}

		bool[] proposing(others.length());
		{
			TreatyList treaties;
			treaties.prepare(emp);
			for (uint i = 0; i < others.length(); ++i) {
				Treaty@ treaty = treaties.getProposedTreaty(others[i]);
				proposing[i] = treaty !is null;
				if (treaty is null || !treaty.isProposed() || !(treaty.getToEmpire() is emp))
					continue;
				treaties.setAcceptance(others[i], isPeaceful(treaty));
				++answered;
			}
			treaties.prepare(null);
		}

		for (uint i = 0; i < others.length(); ++i) {
			Empire@ other = others[i];
			uint id = uint(uint8(other.ID));
			if (!emp.isEnemy(other)) {
				warSince[id] = -1;
				continue;
			}
			if (warSince[id] < 0)
				warSince[id] = running;
			if (proposing[i] || running - warSince[id] < warWeariness)
				continue;
			if (other.getStat("str") <= emp.getStat("str"))
				continue;
			TreatyFactory factory(emp, other);
			Treaty@ treaty = factory.treaty;
			if (treaty !is null && treaty.addClause("peace", false) !is null)
				factory.propose();
			factory.clear();
		}
	}

	// A treaty of nothing but peace and ceasefires.
	bool isPeaceful(const Treaty@ treaty) {
		uint count = treaty.clauseCount;
		if (count == 0)
			return false;
		for (uint i = 0; i < count; ++i) {
			const Clause@ clause = treaty.getClause(i);
			if (clause is null)
				return false;
			if (clause.id != "peace" && clause.id != "ceasefire")
				return false;
		}
		return true;
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
