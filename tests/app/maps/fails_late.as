// A map whose "makeMap" makes twenty systems (away from the origin, each with
// its star, a planet in the first) and then stops with a script exception.

void makeMap(Galaxy@ glx) {
	for (int i = 0; i < 20; ++i) {
		System_Desc desc;
		desc.Position = vector(float(i) * 3000.0f + 5000.0f, 0.0f, 0.0f);
		System@ sys = glx.createSystem(desc);
		if (i == 0) {
			Planet_Desc planet;
			sys.makePlanet(planet);
		}
	}
	System@ missing = null;
	missing.makeOddity(Oddity_Desc());
}

Planet@ setupHomeworld(System@ sys, Empire@ emp) {
	return null;
}
