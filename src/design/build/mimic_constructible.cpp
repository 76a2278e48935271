#include "design/build/mimic_constructible.h"

void mimic_constructible::complete(generic_object*) {}

bool mimic_constructible::payCosts(StateList&, generic_object*, float) { return false; }

float mimic_constructible::getProgress() const {
  return progress > 0.0f ? progress : constructible::getProgress();
}
