// A small galaxy for games between computer empires: 24 systems on a 6 by 4
// grid, each with three worlds that a colony ship can settle, and a Terran
// homeworld for every empire that is not reserved. Nothing is drawn at
// random but the homeworlds' systems.

const int COLUMNS = 6;
const int ROWS = 4;
const float SPACING = 3000.0f;
const float FIRST_ORBIT = 200.0f;
const float ORBIT_GAP = 80.0f;

const string[] WORLD_TYPES = {"Terran", "Desert", "Ice"};

void makeMap(Galaxy@ glx) {
	for (int row = 0; row < ROWS; ++row) {
		for (int column = 0; column < COLUMNS; ++column) {
			System_Desc desc;
			desc.Position = vector(float(column) * SPACING, 0.0f, float(row) * SPACING);
			desc.AutoStar = true;
			System@ sys = glx.createSystem(desc);
			if (sys is null)
				continue;
			for (int p = 0; p < 3; ++p)
				makeWorld(sys, WORLD_TYPES[(row + column + p) % 3], FIRST_ORBIT + float(p) * ORBIT_GAP, float(p) / 3.0f);
		}
	}
}

Planet@ makeWorld(System@ sys, const string &in kind, float radius, float pos) {
	Planet_Desc desc;
	desc.setPlanetType(getPlanetTypeID(kind));
	desc.PlanetRadius = 10.0f;
	desc.RandomConditions = false;

	Orbit_Desc orbit;
	orbit.Radius = radius;
	orbit.PosInYear = pos;
	orbit.DaysPerYear = 6.0f * pow(radius / FIRST_ORBIT, 1.5f);
	desc.setOrbit(orbit);
	return sys.makePlanet(desc);
}

Planet@ setupHomeworld(System@ sys, Empire@ emp) {
	if (sys is null || emp is null || emp.isReserved())
		return null;
	Planet@ home = makeWorld(sys, "Terran", FIRST_ORBIT + ORBIT_GAP * 3.0f, 0.5f);
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
