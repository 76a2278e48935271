// A map of two empty systems and no "setupHomeworld".

void makeMap(Galaxy@ glx) {
	System_Desc desc;
	desc.AutoStar = false;
	glx.createSystem(desc);
	desc.Position = vector(4000.0f, 0.0f, 0.0f);
	glx.createSystem(desc);
}
