// A map of two empty systems that reports its progress to the loading
// screen.

void makeMap(Galaxy@ glx) {
	updateLoadScreen("x");
	System_Desc desc;
	desc.AutoStar = false;
	glx.createSystem(desc);
	desc.Position = vector(4000.0f, 0.0f, 0.0f);
	glx.createSystem(desc);
	updateLoadScreen("systems made");
}
