// A map whose "makeMap" stops with a script exception.

void makeMap(Galaxy@ glx) {
	System@ missing = null;
	missing.makeOddity(Oddity_Desc());
}

Planet@ setupHomeworld(System@ sys, Empire@ emp) {
	return null;
}
