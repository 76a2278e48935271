// Shields: blows soaked up before they reach a ship's parts.

// The "ShieldScreen" effect (Effects/subsystems.txt), run for each blow the
// ship takes: up to `strength` of it never lands.
void absorb(Event@ evt, float strength) {
	if (strength <= 0)
		return;
	if (evt.damage <= strength)
		evt.damage = 0;
	else
		evt.damage -= strength;
}
