// Three systems in a row, each with its star: two planets around the first,
// one around the second and a comet around the third. Homeworlds are
// Terran planets on a fixed orbit.

void makeMap(Galaxy@ glx) {
	for (int i = 0; i < 3; ++i) {
		System_Desc desc;
		desc.Position = vector(float(i) * 3000.0f, 0.0f, 0.0f);
		System@ sys = glx.createSystem(desc);
		if (i == 0) {
			addPlanet(sys, 200.0f);
			addPlanet(sys, 320.0f);
		} else if (i == 1) {
			addPlanet(sys, 250.0f);
		} else {
			Oddity_Desc comet;
			comet.set_id("comet");
			comet.setFloat("radius", 2.0f);
			sys.makeOddity(comet);
		}
	}
}

void addPlanet(System@ sys, float radius) {
	Planet_Desc desc;
	Orbit_Desc orbit;
	orbit.Radius = radius;
	desc.setOrbit(orbit);
	sys.makePlanet(desc);
}

Planet@ setupHomeworld(System@ sys, Empire@ emp) {
	if (emp.isReserved())
		return null;
	Planet_Desc desc;
	desc.setPlanetType(getPlanetTypeID("Terran"));
	desc.PlanetRadius = 9.0f;
	Orbit_Desc orbit;
	orbit.Radius = 400.0f;
	desc.setOrbit(orbit);
	Planet@ home = sys.makePlanet(desc);
	Object@ obj = home;
	obj.setOwner(emp);
	home.modMaxPopulation(4.0f);
	home.modPopulation(2.0f);
	return home;
}
