// Colonies: settlers founding a new world.

// The "Colonize" effect (Effects/colony.txt), landed on a planet by a
// colony ship's "Colonizer" (Effectors/tools.txt). A planet without a valid
// owner passes to the ship's empire, holds at least `pop` people from then
// on, and gains `pop` of them; a planet left empty would fall back to space
// a moment later. A planet someone holds already, including one settled a
// moment ago by the same ship, is not touched.
void colonize(Event@ evt, float pop) {
	Object@ target = evt.target;
	Object@ source = evt.obj;
	if (target is null || source is null || pop <= 0)
		return;
	Planet@ planet = target.toPlanet();
	if (planet is null)
		return;
	Empire@ current = target.getOwner();
	if (current !is null && current.isValid())
		return;
	Empire@ settlers = source.getOwner();
	if (settlers is null || !settlers.isValid())
		return;

	target.setOwner(settlers);
	// An owner change may be refused by the planet's own rules.
	if (target.getOwner() !is settlers)
		return;
	float room = planet.getMaxPopulation();
	if (room < pop)
		planet.modMaxPopulation(pop - room);
	planet.modPopulation(pop);

	// The settlers bring the metals for a first structure.
	State@ metals = target.getState("Metals");
	if (metals !is null) {
		if (metals.max < SETTLERS_METALS)
			metals.max = SETTLERS_METALS;
		if (metals.val < SETTLERS_METALS)
			metals.val = SETTLERS_METALS;
	}
}

// Metals a new colony starts with: a Metal Mine's cost (Sub Systems/structures.txt).
const float SETTLERS_METALS = 30.0f;
