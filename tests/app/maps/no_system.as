// A map whose "makeMap" runs to its end without making a system.

void makeMap(Galaxy@ glx) {
	if (glx is null)
		return;
}

Planet@ setupHomeworld(System@ sys, Empire@ emp) {
	return null;
}
