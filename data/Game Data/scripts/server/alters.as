// Alter hooks: functions that sub-system definitions name in "Alters" to
// adjust the values of the sub-systems evaluated beside them. Each is called
// once per value list (costs, consumption, requirements, hints, provisions)
// with the list's mode and the hook's own evaluated arguments.

// The "Field Workshop" part (Sub Systems/ship_parts.txt): trims the costs of
// the parts built beside it by `share`. It acts on costs only. Scripts
// cannot change a sub-system's figures yet, so for now it only decides
// whether it applies.
void trimCosts(subSystem@ sys, SubSystemEvalMode mode, float share) {
	if (sys is null || mode != SSVM_Costs || share <= 0)
		return;
}
