// The default map: a spiral galaxy.
//
// Star systems are strung along a few curved arms that wind out from a
// crowded core, each scattered a little to either side of its arm. Every
// system gets its star automatically; most also get one to five planets on
// widening orbits, and a few an asteroid or a comet.
//
// Game settings read:
//   SYSTEM_COUNT  how many systems to make (150 when not set)
//
// Each empire's homeworld comes from setupHomeworld: a temperate world of
// its own with a first population. The reserved empires (space, pirates,
// remnants) get none.

// Arms of the spiral, and how far (radians) an arm winds from the core to
// its tip.
const int ARM_COUNT = 4;
const float ARM_TWIST = 3.6f;
const float PI_2 = 6.2831853f;

// Room each system takes on average; the galaxy grows with the system count.
const float SYSTEM_SPACING = 2000.0f;
// The empty middle, and how far a system strays from its arm.
const float CORE_RADIUS = 2500.0f;
const float ARM_SPREAD = 0.16f;
// Systems lie nearly flat.
const float THICKNESS = 400.0f;

// Planets: the first orbit, the gap between orbits, and the period of the
// first orbit (longer for the outer ones).
const float FIRST_ORBIT = 200.0f;
const float ORBIT_GAP = 70.0f;
const float FIRST_YEAR = 6.0f;

void makeMap(Galaxy@ glx) {
	int count = int(getGameSetting("SYSTEM_COUNT", 150.0f));
	if (count < 1)
		count = 1;

	float reach = CORE_RADIUS + sqrt(float(count)) * SYSTEM_SPACING;
	for (int i = 0; i < count; ++i) {
		int arm = i % ARM_COUNT;
		// Square root: as many systems near the core as further out would
		// crowd it; this spreads them evenly over the arm's area.
		float along = sqrt(randomf(0.0f, 1.0f));
		float dist = CORE_RADIUS + along * (reach - CORE_RADIUS);
		float angle = PI_2 * float(arm) / float(ARM_COUNT) + along * ARM_TWIST;
		angle += randomf(-ARM_SPREAD, ARM_SPREAD);
		dist *= randomf(1.0f - ARM_SPREAD, 1.0f + ARM_SPREAD);

		System_Desc desc;
		desc.Position = vector(cos(angle) * dist, randomf(-THICKNESS, THICKNESS) * 0.5f, sin(angle) * dist);
		desc.AutoStar = true;
		System@ sys = glx.createSystem(desc);
		if (sys is null)
			continue;
		fillSystem(sys);
	}
}

// Planets, and now and then an asteroid or a comet, around the system's star.
void fillSystem(System@ sys) {
	int planets = 0;
	if (rand(0, 9) != 0)
		planets = rand(1, 5);

	float orbit = FIRST_ORBIT;
	for (int p = 0; p < planets; ++p) {
		orbit += randomf(0.0f, ORBIT_GAP);
		makeWorld(sys, orbit);
		orbit += ORBIT_GAP;
	}

	int oddity = rand(0, 19);
	if (oddity == 0)
		makeBody(sys, "comet", orbit + ORBIT_GAP * 2.0f);
	else if (oddity == 1)
		makeBody(sys, "asteroid", orbit + ORBIT_GAP);
}

// The natural world types, the first the most common.
string pickWorldType(float orbit) {
	int roll = rand(0, 99);
	if (orbit > FIRST_ORBIT + ORBIT_GAP * 4.0f && roll < 45)
		return "Gas Giant";
	if (orbit < FIRST_ORBIT + ORBIT_GAP && roll < 35)
		return "Volcanic";
	if (roll < 25)
		return "Barren";
	if (roll < 45)
		return "Desert";
	if (roll < 65)
		return "Ice";
	if (roll < 80)
		return "Terran";
	if (roll < 90)
		return "Volcanic";
	return "Gas Giant";
}

Planet@ makeWorld(System@ sys, float orbitRadius) {
	string kind = pickWorldType(orbitRadius);

	Planet_Desc desc;
	desc.setPlanetType(getPlanetTypeID(kind));
	if (kind == "Gas Giant")
		desc.PlanetRadius = randomf(18.0f, 32.0f);
	else
		desc.PlanetRadius = randomf(5.0f, 14.0f);
	desc.RandomConditions = true;

	Orbit_Desc orbit;
	orbit.Radius = orbitRadius;
	orbit.PosInYear = randomf(0.0f, 1.0f);
	orbit.Eccentricity = randomf(1.0f, 1.1f);
	orbit.Pitch = randomf(-0.05f, 0.05f);
	orbit.DaysPerYear = FIRST_YEAR * pow(orbitRadius / FIRST_ORBIT, 1.5f);
	desc.setOrbit(orbit);

	return sys.makePlanet(desc);
}

// A comet or an asteroid ("comet", "asteroid") on a wide orbit.
void makeBody(System@ sys, const string &in kind, float orbitRadius) {
	Oddity_Desc desc;
	desc.set_id(kind);
	desc.setFloat("radius", randomf(1.5f, 4.0f));
	desc.setFloat("orb_radius", orbitRadius);
	sys.makeOddity(desc);
}

Planet@ setupHomeworld(System@ sys, Empire@ emp) {
	if (sys is null || emp is null || emp.isReserved())
		return null;

	Planet_Desc desc;
	desc.setPlanetType(getPlanetTypeID("Terran"));
	desc.PlanetRadius = 12.0f;
	desc.RandomConditions = false;

	Orbit_Desc orbit;
	orbit.Radius = FIRST_ORBIT + ORBIT_GAP * randomf(0.5f, 2.5f);
	orbit.PosInYear = randomf(0.0f, 1.0f);
	orbit.DaysPerYear = FIRST_YEAR * 1.5f;
	desc.setOrbit(orbit);

	Planet@ home = sys.makePlanet(desc);
	if (home is null)
		return null;
	Object@ obj = home;
	obj.setOwner(emp);
	home.modMaxPopulation(10.0f);
	home.modPopulation(8.0f);
	// The seat of the empire's government: its first mine, store and foundry.
	const subSystemDef@ capital = getSubSystemDefByName("Capital");
	if (capital !is null)
		home.addStructure(capital);
	return home;
}
