// Interception: how soon a mover that accelerates with `a` can meet a target
// that moves on, and the polynomial solvers behind it (double precision, in
// closed form; a mover's repeated solve may start from its last root).
#pragma once

#include <vector3d.h>

class generic_object;

// The time after which a mover accelerating with `a` meets a target at
// relative position P (target minus mover), relative velocity V (target
// minus mover) and target acceleration A. The quartic
//   c4 t^4 + c3 t^3 + c2 t^2 + c1 t + c0 = 0
// with c4 = 0.25 |A|^2 - 0.0625 a, c3 = A.V, c2 = A.P + |V|^2,
// c1 = 2 V.P and c0 = |P|^2 (each rounded to a float) is handed to
// solveQuartic as {c4, c3, c2, c1, c0}, so the equation solved has |P|^2 as
// its leading coefficient and c4 as its constant term. The result is the
// smallest root that is not negative, or 0 when there is none. It may be a
// value that is not a finite number (a target at the mover's own position
// has a leading coefficient of 0); callers then ignore it.
float interceptTime(const irr::core::vector3df& P, const irr::core::vector3df& V,
                    const irr::core::vector3df& A, double a);
// interceptTime with a guess at the root, for a mover that solves nearly
// the same equation tick after tick. The guess (the last result, or 0 for
// none) is refined by Newton steps; the refined root is taken only when it
// settles to full precision, is a simple root, and the quartic provably has
// no root between 0 and it (its value then is the closed form's choice);
// otherwise the closed form decides. `guess` receives the root taken, or 0.
float interceptTime(const irr::core::vector3df& P, const irr::core::vector3df& V,
                    const irr::core::vector3df& A, double a, double& guess);
// The same for two objects: P from their absolute positions, V from their
// velocities, A the target's acceleration.
float interceptTime(const generic_object& mover, const generic_object& target, double a);

// The warm start of interceptTime on its own: refines `guess` by Newton
// steps on coefficients[4] x^4 + ... + coefficients[0] and returns true with
// `root` set only when the result is certainly the smallest root that is not
// negative and a simple one (see interceptTime above); false otherwise.
bool refineInterceptRoot(const double (&coefficients)[5], double guess, double& root);

// Real roots of coefficients[4] x^4 + ... + coefficients[0] = 0 (constant
// term first), by Ferrari's method. Returns their number (0, 2 or 4) and
// fills `roots` in the method's order. A discriminant of exactly 0 gives no
// root, so double roots are not reported.
int solveQuartic(const double (&coefficients)[5], double (&roots)[4]);

// Real roots of coefficients[3] x^3 + ... + coefficients[0] = 0 (constant
// term first): 3 by the trigonometric form, or 1 by Cardano's.
int solveCubic(const double (&coefficients)[4], double (&roots)[3]);
