// The hooks of the race traits of "Game Data/traits.xml". Each gets the
// empire that holds the trait, a tick hook then the game seconds, and then
// the arguments the trait file gives.

// Industrious: factories work at the given factor while the trait is held.
void applyIndustrious(Empire@ emp, float factor) {
	emp.setSetting("industry_factor", factor);
}

void removeIndustrious(Empire@ emp) {
	emp.setSetting("industry_factor", 1);
}

// Scholarly: study builds up over time at the given rate per second.
void tickScholarly(Empire@ emp, float seconds, float rate) {
	emp.setSetting("scholarship", emp.getSetting("scholarship") + seconds * rate);
}
