// Small text helpers that simulation and interface scripts share.

// "1 ship", "3 ships": the count with the word that fits it.
string@ countText(int count, const string &in one, const string &in many) {
	string text = i_to_s(count);
	text += " ";
	if (count == 1 || count == -1)
		text += one;
	else
		text += many;
	return text;
}

// Game seconds as minutes and seconds, "m:ss"; whole hours are written
// before them, "h:mm:ss". Negative times count as 0.
string@ clockText(double seconds) {
	int total = seconds > 0 ? int(seconds) : 0;
	int hours = total / 3600;
	int minutes = (total / 60) % 60;
	int secs = total % 60;
	string text;
	if (hours > 0) {
		text = i_to_s(hours);
		text += ":";
		if (minutes < 10)
			text += "0";
	}
	text += i_to_s(minutes);
	text += ":";
	if (secs < 10)
		text += "0";
	text += i_to_s(secs);
	return text;
}

// A share between 0 and 1 as a whole percentage, "42%".
string@ percentText(float share) {
	string text = i_to_s(int(round(clamp(share, 0.0f, 1.0f) * 100.0f)));
	text += "%";
	return text;
}
