// Combat: the damage that weapon hits deal.

// The "Hit" effect (Effects/combat.txt): the object hit takes the amount as
// damage, dealt by the object that fired.
void hit(Event@ evt, float amount) {
	Object@ target = evt.target;
	Object@ source = evt.obj;
	if (target is null || source is null)
		return;
	target.damage(source, amount);
}
