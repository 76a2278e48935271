// Requests that interface scripts hand to the simulation with
//   sendServerMessage(name, kind, text)
// arrive here, one at a time, on the thread of the interface script.
//
// Each request is kept under its sender's name and its kind until a server
// module takes it:
//   import bool takeRequest(Empire@, uint, string &out) from "interactions";
// A newer request of the same kind from the same sender replaces the older
// one. Requests without a sender (no local player yet) are dropped.

dictionary pending;

string requestKey(Empire@ sender, uint kind) {
	string key = sender.getName();
	key += "/";
	key += kind;
	return key;
}

void onClientMessage(Empire@ sender, uint kind, const string &text) {
	if (sender is null || !sender.isValid())
		return;
	string copy = text;
	pending.set(requestKey(sender, kind), copy);
}

// Takes the waiting request of `kind` from `sender`: true with its text, or
// false when there is none.
bool takeRequest(Empire@ sender, uint kind, string &out text) {
	if (sender is null)
		return false;
	string key = requestKey(sender, kind);
	if (!pending.get(key, text))
		return false;
	pending.delete(key);
	return true;
}
