#include "universe/galaxygen/galaxy_generation.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "core/data_file.h"
#include "core/log.h"
#include "gfx/render_group.h"
#include "core/random.h"
#include "core/text_conversions.h"
#include "core/user_folders.h"
#include "empire/empire.h"
#include "universe/galaxygen/net_object_records.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/object_states.h"
#include "universe/objects/oddity.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/star.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_types.h"

using irr::core::stringw;

namespace {

const char* const kSystemNamesFile = "Game Data/SystemNames.txt";
const char* const kPlanetTypesFile = "Game Data/PlanetTypes.xml";

// The fallback names start at A-1: 27 is the first number past one letter.
constexpr uint32_t kFirstFallbackName = 27;
constexpr float kGalaxyRadius = 200000.0f;

// A star of the automatic kind: radius pow(u, 1.2) x 60 + 20, temperature
// pow(u, 40 / radius) x 28800 + 1000 kelvin.
constexpr float kAutoStarRadiusExponent = 1.2f;
constexpr float kAutoStarRadiusSpan = 60.0f;
constexpr float kAutoStarMinRadius = 20.0f;
constexpr float kAutoStarTemperatureScale = 40.0f;
constexpr float kAutoStarTemperatureSpan = 28800.0f;
constexpr float kAutoStarMinTemperature = 1000.0f;

// A system reaches three star radii, and 1.25 times the square of its
// farthest orbit.
constexpr float kStarReach = 3.0f;
constexpr float kOrbitReachSquared = 1.25f;
// "Damage" a star takes per cubic unit of its radius.
constexpr float kStarDamagePerVolume = 1000000.0f;

// Conditions a new planet tries to get, and tries of addRandomCondition.
constexpr int kPlanetConditionDraws = 2;
constexpr int kAddConditionDraws = 4;
// Draws of a random planet type before the next usable one in order is
// taken (only reached when the generator cannot reach any usable index).
constexpr int kPlanetTypeDraws = 4096;

const stringw kStarSuffix = L" Star";
const stringw kDamageState = L"Damage";
const stringw kTemperatureState = L"Temp K";
const stringw kPlanetsStat = L"planets";
const stringw kCometId = L"comet";
const stringw kAsteroidId = L"asteroid";
const stringw kCometName = L"Comet";
const stringw kAsteroidName = L"Asteroid";

// The system names and the next fallback name. Systems may be made by the
// scripts of several threads, so both are guarded.
std::mutex& systemNamesMutex() {
  static std::mutex mutex;
  return mutex;
}
uint32_t fallbackNameCounter = kFirstFallbackName;

// A name built from a number: a letter for each power of 26 it exceeds
// (from 26^4 down), then "-" and what is left (27 is A-1, 52 is B-0).
stringw fallbackSystemName(uint32_t number) {
  static const uint32_t kDivisors[] = {26u * 26u * 26u * 26u, 26u * 26u * 26u, 26u * 26u, 26u};
  stringw text;
  for (const uint32_t divisor : kDivisors) {
    if (number > divisor) {
      text.append(static_cast<wchar_t>(64 + number / divisor));
      number %= divisor;
    }
  }
  text += L"-";
  text += stringw(number);
  return text;
}

stringw nextSystemName() {
  std::lock_guard<std::mutex> guard(systemNamesMutex());
  irr::core::array<stringw>& names = systemNameList();
  if (names.size() > 0) {
    const irr::u32 index = static_cast<irr::u32>(processRandom()) % names.size();
    stringw picked = names[index];
    names.erase(index);
    return picked;
  }
  return fallbackSystemName(fallbackNameCounter++);
}

// The reciprocal of an eccentricity below 1, as the orbit uses it (0 counts
// as 1, a circle).
float orbitStretch(float eccentricity) {
  if (eccentricity == 0.0f)
    return 1.0f;
  return eccentricity < 1.0f ? 1.0f / eccentricity : eccentricity;
}

// A system reaches at least as far as an orbit of `extent` takes a body.
void growForOrbit(solarSystem* system, float extent) {
  const float reachSquared = kOrbitReachSquared * extent * extent;
  if (reachSquared > system->radiusSquared) {
    system->radiusSquared = reachSquared;
    system->radius = std::sqrt(reachSquared);
  }
}

bool hasCondition(const objHabitation* planet, const planetCondition* condition) {
  for (irr::u32 i = 0; i < planet->conditions.size(); ++i)
    if (planet->conditions[i] == condition)
      return true;
  return false;
}

// Every tag of the condition is one the type allows.
bool typeAllows(const PlanetPhysicalType* type, const planetCondition* condition) {
  return std::includes(type->conditionTags.begin(), type->conditionTags.end(), condition->tags.begin(),
                       condition->tags.end());
}

bool anyUsableRandomType(const PlanetTypeRegistry& types) {
  for (irr::u32 i = 0; i < types.size(); ++i)
    if (!types[i].value->constructed)
      return true;
  return false;
}

// A random type that is not constructed (one exists).
PlanetPhysicalType* drawRandomType(const PlanetTypeRegistry& types) {
  irr::u32 index = 0;
  for (int draw = 0; draw < kPlanetTypeDraws; ++draw) {
    index = static_cast<irr::u32>(processRandom()) % types.size();
    if (!types[index].value->constructed)
      return types[index].value;
  }
  for (irr::u32 step = 0; step < types.size(); ++step) {
    PlanetPhysicalType* type = types[(index + step) % types.size()].value;
    if (!type->constructed)
      return type;
  }
  return nullptr;
}

// The type a new planet gets, or null (logged) when none can be used.
PlanetPhysicalType* choosePlanetType(const Planet_Desc& desc, bool draw) {
  const PlanetTypeRegistry& types = planetTypeRegistry();
  if (desc.planetType >= 0 && static_cast<irr::u32>(desc.planetType) < types.size())
    return types[static_cast<irr::u32>(desc.planetType)].value;
  if (types.size() == 0) {
    logError("Cannot make a planet: no planet type is loaded from \"%s\"\n", kPlanetTypesFile);
    return nullptr;
  }
  if (!anyUsableRandomType(types)) {
    logError("Cannot make a planet: every planet type of \"%s\" is constructed\n", kPlanetTypesFile);
    return nullptr;
  }
  return draw ? drawRandomType(types) : types[0].value;
}

}  // namespace

// --- Descriptors -------------------------------------------------------------

void Orbit_Desc::setCenter(const generic_object* center) { centerUID = center != nullptr ? center->uid : 0; }

void Planet_Desc::setPlanetType(int index) {
  const int count = static_cast<int>(planetTypeRegistry().size());
  planetType = index >= -1 && index < count ? index : -1;
}

// A lookup sorts a registry that is not marked sorted; the descriptor's own
// setters keep both sorted, so this changes nothing a caller can see.
void Oddity_Desc::setFloat(const stringw& name, float value) { NamedVar<float>::getOrAdd(floats, name).value = value; }

float Oddity_Desc::getFloat(const stringw& name, float fallback) const {
  auto& registry = const_cast<NamedVar<float>::Registry&>(floats);
  const irr::s32 index = NamedVar<float>::find(registry, name);
  return index >= 0 ? registry[static_cast<irr::u32>(index)].value : fallback;
}

void Oddity_Desc::setVector(const stringw& name, const vector3df& value) {
  NamedVar<vector3df>::getOrAdd(vectors, name).value = value;
}

vector3df Oddity_Desc::getVector(const stringw& name, const vector3df& fallback) const {
  auto& registry = const_cast<NamedVar<vector3df>::Registry&>(vectors);
  const irr::s32 index = NamedVar<vector3df>::find(registry, name);
  return index >= 0 ? registry[static_cast<irr::u32>(index)].value : fallback;
}

void Oddity_Desc::reset() {
  id = L"";
  clear();
}

void Oddity_Desc::clear() {
  floats.clear();
  vectors.clear();
}

// --- Star colour -------------------------------------------------------------

irr::video::SColor getBlackBodyColor(float kelvin) {
  // A NaN or negative temperature has no colour of its own; converting it
  // would be undefined.
  float t = kelvin > 0.0f ? kelvin : 0.0f;
  if (t > 29800.0f)
    t = 29800.0f;
  const float hot = 1.0f - (t - 6400.0f) / 23400.0f;
  const int red = t < 6400.0f ? 255 : 159 + static_cast<int>(96.0f * hot);
  const int green = t < 6600.0f ? 56 + static_cast<int>(193.0f * t / 6400.0f) : 191 + static_cast<int>(58.0f * hot);
  int blue = 255;
  if (t < 2000.0f)
    blue = 0;
  else if (t < 6600.0f)
    blue = static_cast<int>((t - 2000.0f) / 4600.0f * 255.0f);
  return irr::video::SColor(255, static_cast<irr::u32>(red) & 0xFF, static_cast<irr::u32>(green) & 0xFF,
                            static_cast<irr::u32>(blue) & 0xFF);
}

// --- Orbits ------------------------------------------------------------------

MoveHandler* createOrbitMover(const Orbit_Desc& orbit, vector3df& position, float* extent) {
  if (orbit.isStatic) {
    position = orbit.offset;
    if (extent != nullptr)
      *extent = orbit.offset.getLength();
    return nullptr;
  }

  auto* mobile = new MobileMover();
  auto* circle = new OrbitOtherMover();
  mobile->parkOrbit = circle;
  // A negative (or unset, NaN) year position starts anywhere on the orbit.
  const float yearPosition = orbit.posInYear >= 0.0f ? orbit.posInYear : randomf(1.0f);
  circle->setOrbit(orbit.radius, orbit.mass, orbit.massRadius, yearPosition, orbit.yaw, orbit.pitch, orbit.eccentricity,
                   orbit.daysPerYear);
  circle->centreOffset = orbit.offset;

  float centreDistance = 0.0f;
  if (orbit.centerUID != 0) {
    if (generic_object* centre = getObjectByUIDRef(orbit.centerUID)) {
      if (centre->isValid()) {
        circle->setOrbited(centre);
        centreDistance = centre->position.getLength();
      }
      centre->drop();
    }
  }
  mobile->setParked(true);

  position.set(0, 0, 0);
  if (extent != nullptr)
    *extent = centreDistance + orbit.offset.getLength() + std::fabs(orbitStretch(orbit.eccentricity) * orbit.radius);
  return mobile;
}

MoveHandler* createOddityOrbit(const Oddity_Desc& oddity) {
  auto* orbit = new OrbitMover();
  orbit->active = true;
  orbit->centre.set(0, 0, 0);
  // Each default that is random draws its own value, whether or not the
  // descriptor names the value.
  const float radius = oddity.getFloat(L"orb_radius", 75.0f + 40.0f * randomf(1.0f));
  const float mass = oddity.getFloat(L"orb_mass", 1.0f);
  const float massRadius = oddity.getFloat(L"orb_mass_radius", 35.0f);
  const float yearPosition = oddity.getFloat(L"orb_year_pos", randomf(1.0f));
  const float yaw = oddity.getFloat(L"orb_disc_yaw", randomf(1.0f) * 6.282f);
  const float pitch = oddity.getFloat(L"orb_disc_pitch", 3.14f * randomf(1.0f) - 1.57f);
  const float eccentricity = oddity.getFloat(L"orb_eccentricity", 1.7f * randomf(1.0f) + 2.0f);
  const float daysPerYear = oddity.getFloat(L"orb_days_per_year", 0.0f);
  orbit->setOrbit(radius, mass, massRadius, yearPosition, yaw, pitch, eccentricity, daysPerYear);
  return orbit;
}

// --- System names ------------------------------------------------------------

irr::core::array<stringw>& systemNameList() {
  static irr::core::array<stringw> names;
  return names;
}

void loadSystemNames() {
  std::vector<stringw> lines;
  const ModInfo* mod = getCurrentModInfo();
  if (mod == nullptr || !readTextDataFile(mod->resolvePath(kSystemNamesFile), lines))
    readTextDataFile(kSystemNamesFile, lines);

  std::lock_guard<std::mutex> guard(systemNamesMutex());
  irr::core::array<stringw>& names = systemNameList();
  names.clear();
  for (const stringw& line : lines)
    names.push_back(line);
  fallbackNameCounter = kFirstFallbackName;
}

// --- Makers ------------------------------------------------------------------

objGalaxy* createGalaxy() {
  loadSystemNames();
  auto* made = new objGalaxy();
  made->radius = kGalaxyRadius;
  // The galaxy's render group, under the scene root (none without a scene).
  made->graphics = createGalaxyRenderGroup(made);
  return made;
}

// Each system, star and planet made here goes to the clients while this
// process hosts a network game and the galaxy is live (broadcastNewObject).

solarSystem* makeSystem(objGalaxy* owner, const System_Desc& desc) {
  if (owner == nullptr)
    return nullptr;
  auto* system = new solarSystem();
  system->position = desc.position;
  system->setContainer(owner);
  system->radius = desc.startRadius;
  system->radiusSquared = desc.startRadius * desc.startRadius;
  system->name = nextSystemName();
  broadcastNewObject(system);

  if (desc.autoStar) {
    Star_Desc star;
    const float u1 = randomf(1.0f);
    const float u2 = randomf(1.0f);
    star.radius = std::pow(u1, kAutoStarRadiusExponent) * kAutoStarRadiusSpan + kAutoStarMinRadius;
    star.temperature =
        std::pow(u2, kAutoStarTemperatureScale / star.radius) * kAutoStarTemperatureSpan + kAutoStarMinTemperature;
    createStar(system, star);
  }
  return system;
}

objStar* createStar(solarSystem* system, const Star_Desc& desc) {
  if (system == nullptr)
    return nullptr;
  vector3df position;
  float extent = 0.0f;
  MoveHandler* mover = createOrbitMover(desc.orbit, position, &extent);

  auto* star = new objStar(system, mover);
  star->position = position;
  star->name = system->name + kStarSuffix;
  star->radius = desc.radius;

  if (kStarReach * desc.radius > system->radius) {
    system->radius = kStarReach * desc.radius;
    system->radiusSquared = system->radius * system->radius;
  }
  growForOrbit(system, extent);

  getOrAddObjectState(star, kDamageState)->value.max = desc.radius * desc.radius * desc.radius * kStarDamagePerVolume;
  State* temperature = getOrAddObjectState(star, kTemperatureState);
  temperature->value.val = desc.temperature;
  temperature->value.max = desc.temperature;

  broadcastNewObject(star);
  return star;
}

objHabitation* createPlanet(solarSystem* system, const Planet_Desc& desc) {
  if (system == nullptr)
    return nullptr;
  // Whether a type can be had is known before anything is made; the random
  // draw itself comes in its place below.
  if (choosePlanetType(desc, false) == nullptr)
    return nullptr;

  vector3df position;
  float extent = 0.0f;
  MoveHandler* mover = createOrbitMover(desc.orbit, position, &extent);
  empire* space = getEmpireByID(kSpaceEmpireID);
  auto* planet = new objHabitation(space, mover);
  growForOrbit(system, extent);
  planet->setContainer(system);
  planet->position = position;
  planet->radius = desc.planetRadius;
  planet->setBaseMass(desc.planetMass);
  planet->addStructureSpace(desc.planetRadius * desc.planetRadius);

  // Named after the system and the count of planets made in it.
  unsigned number = 0;
  if (system->systemStats != nullptr) {
    float& planets = statValue(getEmpireStats(*system->systemStats, space), kPlanetsStat);
    planets += 1.0f;
    if (planets >= 1.0f)
      number = planets < 4e9f ? static_cast<unsigned>(planets) : 4000000000u;
  }
  stringw numeral;
  toRoman(number, numeral);
  stringw planetName = system->name;
  planetName += L" ";
  planetName += numeral;
  planet->name = planetName;

  PlanetPhysicalType* type = choosePlanetType(desc, true);
  planet->physicalType = type;

  const PlanetConditionRegistry& conditions = planetConditionRegistry();
  if (desc.randomConditions && conditions.size() > 0) {
    for (int draw = 0; draw < kPlanetConditionDraws; ++draw) {
      planetCondition* condition = conditions[threadRandom().randUpTo(conditions.size() - 1)].value;
      if (!hasCondition(planet, condition) && typeAllows(type, condition))
        planet->conditions.push_back(condition);
    }
  }

  planet->tick(0.0f);
  broadcastNewObject(planet);
  return planet;
}

void addRandomCondition(objHabitation* planet) {
  if (planet == nullptr || planet->physicalType == nullptr)
    return;
  const std::vector<planetCondition*>& choices = planet->physicalType->applicableConditions;
  if (choices.empty())
    return;
  for (int draw = 0; draw < kAddConditionDraws; ++draw) {
    planetCondition* condition = choices[threadRandom().randUpTo(static_cast<uint32_t>(choices.size() - 1))];
    if (!hasCondition(planet, condition)) {
      planet->conditions.push_back(condition);
      return;
    }
  }
}

objOddity* makeOddity(solarSystem* system, const Oddity_Desc& desc) {
  if (system == nullptr)
    return nullptr;
  const bool isStatic = desc.getFloat(L"static", 0.0f) >= 0.5f;
  uint32_t kind = 0;
  const stringw* oddityName = nullptr;
  if (desc.id == kCometId) {
    kind = ODT_Comet;
    oddityName = &kCometName;
  } else if (desc.id == kAsteroidId) {
    kind = ODT_Asteroid;
    oddityName = &kAsteroidName;
  } else {
    return nullptr;
  }

  const float radius = desc.getFloat(L"radius", 1.0f);
  MoveHandler* mover = isStatic ? nullptr : createOddityOrbit(desc);
  auto* oddity = new objOddity(mover, kind);
  oddity->setContainer(system);
  oddity->radius = radius;
  oddity->name = *oddityName;
  oddity->setBaseMass(desc.getFloat(L"mass", 1.0f));
  return oddity;
}
