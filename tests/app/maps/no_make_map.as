// A map without "void makeMap(Galaxy@)".

void makeGalaxy(Galaxy@ glx) {
	System_Desc desc;
	glx.createSystem(desc);
}
