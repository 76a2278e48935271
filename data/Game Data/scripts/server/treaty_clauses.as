// The hooks of the treaty clauses of "Game Data/treaties.xml". Each gets the
// clause and its two empires, a tick hook then the game seconds, and reports
// whether the clause goes on (CS_NOCHANGE), ended or failed.

// Peace: the empires stop being enemies, both ways.
ClauseState beginPeace(Clause@ clause, Empire@ a, Empire@ b) {
	a.setEnemy(b, false);
	return CS_NOCHANGE;
}

// Alliance: in force from its beginning until it ends or fails.
ClauseState beginAlliance(Clause@ clause, Empire@ a, Empire@ b) {
	a.setAllied(b, true);
	return CS_NOCHANGE;
}

ClauseState endAlliance(Clause@ clause, Empire@ a, Empire@ b) {
	a.setAllied(b, false);
	return CS_NOCHANGE;
}

// War: the declaration makes the empires enemies and is done at once.
ClauseState beginWar(Clause@ clause, Empire@ a, Empire@ b) {
	a.setEnemy(b, true);
	return CS_ENDED;
}

// Ceasefire: no enmity while the duration (option 0) runs down.
ClauseState beginCeasefire(Clause@ clause, Empire@ a, Empire@ b) {
	a.setEnemy(b, false);
	return CS_NOCHANGE;
}

ClauseState tickCeasefire(Clause@ clause, Empire@ a, Empire@ b, double seconds) {
	ClauseOption@ duration = clause.getOption(0);
	float left = duration.toFloat() - float(seconds);
	if (left <= 0) {
		duration = 0.0f;
		return CS_ENDED;
	}
	duration = left;
	return CS_NOCHANGE;
}

ClauseState endCeasefire(Clause@ clause, Empire@ a, Empire@ b) {
	a.setEnemy(b, true);
	return CS_NOCHANGE;
}
