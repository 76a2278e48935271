// Keeps count of the simulation this session has run: its frames and the
// game seconds they covered. Other modules read it with
//   import float sessionSeconds() from "session_clock";
//   import uint sessionFrames() from "session_clock";

float elapsed = 0;
uint frames = 0;

void init() {
	elapsed = 0;
	frames = 0;
}

void tick(float seconds) {
	elapsed += seconds;
	++frames;
}

float sessionSeconds() {
	return elapsed;
}

uint sessionFrames() {
	return frames;
}
