#include "gui/script_math_types.h"

#include <dimension2d.h>
#include <irrMath.h>
#include <position2d.h>
#include <quaternion.h>
#include <rect.h>
#include <vector3d.h>

#include <new>
#include <string>

#include "script/script_registration.h"

using namespace AngelScript;
using irr::core::dimension2d;
using irr::core::quaternion;
using irr::core::rect;
using irr::core::vector2d;
using irr::core::vector3df;

namespace {

// --- the 2D pairs ----------------------------------------------------------
// A position keeps x then y, a size width then height: both are a first and
// a second field, and share their natives.

template <class T>
T& firstOf(vector2d<T>& pair) {
  return pair.X;
}
template <class T>
T& secondOf(vector2d<T>& pair) {
  return pair.Y;
}
template <class T>
T& firstOf(dimension2d<T>& pair) {
  return pair.Width;
}
template <class T>
T& secondOf(dimension2d<T>& pair) {
  return pair.Height;
}

template <class P>
void constructPair(P* self) {
  new (self) P();
  firstOf(*self) = 0;
  secondOf(*self) = 0;
}

template <class P, class T>
void constructPairFromTwo(T first, T second, P* self) {
  new (self) P();
  firstOf(*self) = first;
  secondOf(*self) = second;
}

template <class P>
void destructNothing(P*) {}

// Within the engine's float tolerance for floats, exact for ints.
template <class P>
bool pairEquals(P* self, const P& other) {
  P copy = other;
  return irr::core::equals(firstOf(*self), firstOf(copy)) && irr::core::equals(secondOf(*self), secondOf(copy));
}

template <class P>
P& pairAssign(P* self, const P& other) {
  P copy = other;
  firstOf(*self) = firstOf(copy);
  secondOf(*self) = secondOf(copy);
  return *self;
}

template <class P>
P pairAdd(P* self, const P& other) {
  P sum = *self;
  P copy = other;
  firstOf(sum) += firstOf(copy);
  secondOf(sum) += secondOf(copy);
  return sum;
}

template <class P>
P pairSub(P* self, const P& other) {
  P difference = *self;
  P copy = other;
  firstOf(difference) -= firstOf(copy);
  secondOf(difference) -= secondOf(copy);
  return difference;
}

template <class P>
P& pairAddAssign(P* self, const P& other) {
  P copy = other;
  firstOf(*self) += firstOf(copy);
  secondOf(*self) += secondOf(copy);
  return *self;
}

template <class P>
P& pairSubAssign(P* self, const P& other) {
  P copy = other;
  firstOf(*self) -= firstOf(copy);
  secondOf(*self) -= secondOf(copy);
  return *self;
}

template <class P, class T>
void registerPair(asIScriptEngine* engine, const char* name, const char* field, const char* first,
                  const char* second) {
  static_assert(sizeof(P) == 2 * sizeof(T), "a pair is registered as its two fields");
  const std::string type = name;
  const std::string f = field;
  checked(engine).RegisterObjectType(name, sizeof(P), valueTypeFlags<P, std::is_floating_point<T>::value>());
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_CONSTRUCT, "void f()", asFUNCTION(constructPair<P>),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_DESTRUCT, "void f()", asFUNCTION(destructNothing<P>),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_CONSTRUCT, ("void f(" + f + "," + f + ")").c_str(),
                                          asFUNCTION((constructPairFromTwo<P, T>)), asCALL_CDECL_OBJLAST);
  // The size's properties are named height first; width stays at byte 0.
  const bool heightFirst = std::string(first) == "height";
  checked(engine).RegisterObjectProperty(name, (f + " " + first).c_str(), heightFirst ? 4 : 0);
  checked(engine).RegisterObjectProperty(name, (f + " " + second).c_str(), heightFirst ? 0 : 4);
  const std::string in = "(const " + type + " &in)";
  checked(engine).RegisterObjectMethod(name, ("bool opEquals" + in + " const").c_str(), asFUNCTION(pairEquals<P>),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(name, (type + "& opAssign" + in).c_str(), asFUNCTION(pairAssign<P>),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(name, (type + " opAdd" + in + " const").c_str(), asFUNCTION(pairAdd<P>),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(name, (type + " opSub" + in + " const").c_str(), asFUNCTION(pairSub<P>),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(name, (type + "& opAddAssign" + in).c_str(), asFUNCTION(pairAddAssign<P>),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(name, (type + "& opSubAssign" + in).c_str(), asFUNCTION(pairSubAssign<P>),
                                       asCALL_CDECL_OBJFIRST);
}

// --- quaternion -----------------------------------------------------------

void constructQuaternion(quaternion* self) { new (self) quaternion(); }
void constructQuaternionFromEuler(float x, float y, float z, quaternion* self) { new (self) quaternion(x, y, z); }
void constructQuaternionFromFour(float x, float y, float z, float w, quaternion* self) {
  new (self) quaternion(x, y, z, w);
}

quaternion quaternionMulScalar(quaternion* self, float s) { return *self * s; }
quaternion quaternionAdd(quaternion* self, const quaternion& other) { return *self + other; }
quaternion& quaternionMulAssignScalar(quaternion* self, float s) { return *self *= s; }
quaternion quaternionMul(quaternion* self, const quaternion& other) { return *self * other; }
// Multiplies in place as the engine's *= does (the object becomes
// other * object), and gives the product back as the declared value.
quaternion quaternionMulAssign(quaternion* self, const quaternion& other) {
  *self *= other;
  return *self;
}
bool quaternionEquals(quaternion* self, const quaternion& other) { return *self == other; }
quaternion& quaternionAssign(quaternion* self, const quaternion& other) { return *self = other; }
quaternion& quaternionNormalize(quaternion* self) { return self->normalize(); }
quaternion& quaternionMakeInverse(quaternion* self) { return self->makeInverse(); }
quaternion& quaternionMakeIdentity(quaternion* self) { return self->makeIdentity(); }
// The engine's slerp also takes a threshold: its default.
quaternion& quaternionSlerp(quaternion* self, const quaternion& from, const quaternion& to, float time) {
  return self->slerp(from, to, time);
}
float quaternionDot(quaternion* self, const quaternion& other) { return self->dotProduct(other); }
quaternion& quaternionRotationFromTo(quaternion* self, const vector3df& from, const vector3df& to) {
  return self->rotationFromTo(from, to);
}
quaternion& quaternionFromAngleAxis(quaternion* self, float angle, const vector3df& axis) {
  return self->fromAngleAxis(angle, axis);
}
void quaternionToAngleAxis(quaternion* self, float& angle, vector3df& axis) { self->toAngleAxis(angle, axis); }
void quaternionToEuler(quaternion* self, vector3df& euler) { self->toEuler(euler); }
quaternion& quaternionSetEulerVector(quaternion* self, const vector3df& euler) { return self->set(euler); }
quaternion& quaternionSetEuler(quaternion* self, float x, float y, float z) { return self->set(x, y, z); }
quaternion& quaternionSetFour(quaternion* self, float x, float y, float z, float w) {
  return self->set(x, y, z, w);
}

// --- rectangles -----------------------------------------------------------

template <class T>
void constructRect(rect<T>* self) {
  new (self) rect<T>(0, 0, 0, 0);
}
template <class T>
void constructRectFromFour(T x1, T y1, T x2, T y2, rect<T>* self) {
  new (self) rect<T>(x1, y1, x2, y2);
}
template <class T>
void constructRectFromCorners(const vector2d<T>& upperLeft, const vector2d<T>& lowerRight, rect<T>* self) {
  new (self) rect<T>(upperLeft, lowerRight);
}
template <class T>
void constructRectFromSize(const vector2d<T>& upperLeft, const dimension2d<T>& size, rect<T>* self) {
  new (self) rect<T>(upperLeft, size);
}
template <class T>
rect<T>& rectAssign(rect<T>* self, const rect<T>& other) {
  return *self = other;
}
template <class T>
rect<T>& rectMove(rect<T>* self, const vector2d<T>& by) {
  return *self += by;
}
bool rectConstrainTo(rect<irr::s32>* self, const rect<irr::s32>& other) { return self->constrainTo(other); }
template <class T>
T rectWidth(rect<T>* self) {
  return self->getWidth();
}
template <class T>
T rectHeight(rect<T>* self) {
  return self->getHeight();
}
template <class T>
dimension2d<T> rectSize(rect<T>* self) {
  return self->getSize();
}
template <class T>
bool rectContains(rect<T>* self, const vector2d<T>& point) {
  return self->isPointInside(point);
}

template <class T>
void registerRect(asIScriptEngine* engine, const char* name, const char* scalar, const char* pos, const char* dim) {
  static_assert(sizeof(rect<T>) == 4 * sizeof(T), "a rectangle is registered as its four coordinates");
  const std::string type = name, s = scalar, p = pos, d = dim;
  checked(engine).RegisterObjectType(name, sizeof(rect<T>), valueTypeFlags<rect<T>, std::is_floating_point<T>::value>());
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_CONSTRUCT, "void f()", asFUNCTION(constructRect<T>),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_DESTRUCT, "void f()", asFUNCTION(destructNothing<rect<T>>),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_CONSTRUCT,
                                          ("void f(" + s + "," + s + "," + s + "," + s + ")").c_str(),
                                          asFUNCTION(constructRectFromFour<T>), asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_CONSTRUCT,
                                          ("void f(const " + p + " &in, const " + p + " &in)").c_str(),
                                          asFUNCTION(constructRectFromCorners<T>), asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_CONSTRUCT,
                                          ("void f(const " + p + " &in, const " + d + " &in)").c_str(),
                                          asFUNCTION(constructRectFromSize<T>), asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectMethod(name, (type + "& opAssign(const " + type + " &in)").c_str(),
                                       asFUNCTION(rectAssign<T>), asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(name, (type + "& opAddAssign(const " + p + " &in)").c_str(),
                                       asFUNCTION(rectMove<T>), asCALL_CDECL_OBJFIRST);
  if (std::is_integral<T>::value)
    checked(engine).RegisterObjectMethod(name, ("bool constrainTo(const " + type + " &in)").c_str(),
                                         asFUNCTION(rectConstrainTo), asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(name, (s + " getWidth() const").c_str(), asFUNCTION(rectWidth<T>),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(name, (s + " getHeight() const").c_str(), asFUNCTION(rectHeight<T>),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(name, (d + " getSize() const").c_str(), asFUNCTION(rectSize<T>),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(name, ("bool isPointInside(const " + p + " &in) const").c_str(),
                                       asFUNCTION(rectContains<T>), asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectProperty(name, (p + " UpperLeftCorner").c_str(), 0);
  checked(engine).RegisterObjectProperty(name, (p + " LowerRightCorner").c_str(), 2 * sizeof(T));
  checked(engine).RegisterObjectProperty(name, (p + " upperLeft").c_str(), 0);
}

}  // namespace

void registerScriptQuaternion(asIScriptEngine* engine) {
  static_assert(sizeof(quaternion) == 16, "quaternion is registered as 16 bytes");
  const char* q = "quaternion";
  checked(engine).RegisterObjectType(q, sizeof(quaternion), valueTypeFlags<quaternion, true>());
  checked(engine).RegisterObjectBehaviour(q, asBEHAVE_CONSTRUCT, "void f()", asFUNCTION(constructQuaternion),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour(q, asBEHAVE_DESTRUCT, "void f()", asFUNCTION(destructNothing<quaternion>),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour(q, asBEHAVE_CONSTRUCT, "void f(float,float,float)",
                                          asFUNCTION(constructQuaternionFromEuler), asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour(q, asBEHAVE_CONSTRUCT, "void f(float,float,float,float)",
                                          asFUNCTION(constructQuaternionFromFour), asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectProperty(q, "float x", 0);
  checked(engine).RegisterObjectProperty(q, "float y", 4);
  checked(engine).RegisterObjectProperty(q, "float z", 8);
  checked(engine).RegisterObjectProperty(q, "float w", 12);
  struct Method {
    const char* declaration;
    asSFuncPtr function;
  };
  const Method methods[] = {
      {"quaternion opMul(float) const", asFUNCTION(quaternionMulScalar)},
      {"quaternion opAdd(const quaternion &in) const", asFUNCTION(quaternionAdd)},
      {"quaternion& opMulAssign(float)", asFUNCTION(quaternionMulAssignScalar)},
      {"quaternion opMul(const quaternion &in) const", asFUNCTION(quaternionMul)},
      {"quaternion opMulAssign(const quaternion &in) const", asFUNCTION(quaternionMulAssign)},
      {"bool opEquals(const quaternion &in) const", asFUNCTION(quaternionEquals)},
      {"quaternion& opAssign(const quaternion &in)", asFUNCTION(quaternionAssign)},
      {"quaternion& normalize() const", asFUNCTION(quaternionNormalize)},
      {"quaternion& makeInverse() const", asFUNCTION(quaternionMakeInverse)},
      {"quaternion& makeIdentity() const", asFUNCTION(quaternionMakeIdentity)},
      {"quaternion& slerp(const quaternion &in, const quaternion &in, float) const", asFUNCTION(quaternionSlerp)},
      {"float dotProduct(const quaternion &in) const", asFUNCTION(quaternionDot)},
      {"quaternion& rotationFromTo(vector &in, vector &in) const", asFUNCTION(quaternionRotationFromTo)},
      {"quaternion& fromAngleAxis(float, vector &in) const", asFUNCTION(quaternionFromAngleAxis)},
      {"void toAngleAxis(float &out, vector &out) const", asFUNCTION(quaternionToAngleAxis)},
      {"void toEuler(vector &out) const", asFUNCTION(quaternionToEuler)},
      {"quaternion& set(const vector &in) const", asFUNCTION(quaternionSetEulerVector)},
      {"quaternion& set(float, float, float) const", asFUNCTION(quaternionSetEuler)},
      {"quaternion& set(float, float, float, float) const", asFUNCTION(quaternionSetFour)},
  };
  for (const Method& method : methods)
    checked(engine).RegisterObjectMethod(q, method.declaration, method.function, asCALL_CDECL_OBJFIRST);
}

void registerScriptPos2df(asIScriptEngine* engine) {
  registerPair<vector2d<float>, float>(engine, "pos2df", "float", "x", "y");
}

void registerScriptPos2di(asIScriptEngine* engine) {
  registerPair<vector2d<irr::s32>, irr::s32>(engine, "pos2di", "int", "x", "y");
}

void registerScriptDim2df(asIScriptEngine* engine) {
  registerPair<dimension2d<float>, float>(engine, "dim2df", "float", "height", "width");
}

void registerScriptDim2di(asIScriptEngine* engine) {
  registerPair<dimension2d<irr::s32>, irr::s32>(engine, "dim2di", "int", "height", "width");
}

void registerScriptRectf(asIScriptEngine* engine) { registerRect<float>(engine, "rectf", "float", "pos2df", "dim2df"); }

void registerScriptRecti(asIScriptEngine* engine) {
  registerRect<irr::s32>(engine, "recti", "int", "pos2di", "dim2di");
}
