// Circling a target: a ship whose weapons or tools are on a target keeps
// moving around it instead of sitting still.
#pragma once

class generic_object;
class objHulled;

// Ships reaching farther than this fire from where they are.
constexpr float kMaxCirclingRange = 200.0f;

// Puts a `move_order` in front of the ship's queue to a random point on the
// circle around `target` across the line of sight, 0.9 x range from it,
// with tolerance max(0.45 x range, 2 x the ship's radius). True when it did:
// the range is at most kMaxCirclingRange and the ship has an AI. Whether the
// ship circles at all (its hull's orbits flag) is the caller's question.
bool circleTarget(objHulled& ship, generic_object& target, float range);
