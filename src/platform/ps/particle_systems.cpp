#include "platform/ps/particle_systems.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/file.h"

namespace ps {

// ---------------------------------------------------------------------------
// Stages

bool IParticleStage::drop() {
  if (--references_ > 0)
    return false;
  delete this;
  return true;
}

void IParticleStage::setParent(IParticleStage* parent) {
  if (parent != nullptr)
    parent->grab();
  if (parent_ != nullptr)
    parent_->drop();
  parent_ = parent;
}

IParticleStage::~IParticleStage() {
  if (parent_ != nullptr)
    parent_->drop();
}

bool IParticleStage::getFirstFlag() const { return parent_ != nullptr ? parent_->getFirstFlag() : true; }

bool IParticleStage::getSecondFlag() const { return parent_ != nullptr ? parent_->getSecondFlag() : false; }

void IParticleStage::getPosition(irr::core::vector3df& out) const { out.set(0.0f, 0.0f, 0.0f); }

void IParticleStage::getRotation(irr::core::vector3df& out) const { out.set(0.0f, 0.0f, 0.0f); }

void IParticleStage::getVelocity(irr::core::vector3df& out) const { out.set(0.0f, 0.0f, 0.0f); }

void IParticleStage::getScale(irr::core::vector3df& out) const { out.set(1.0f, 1.0f, 1.0f); }

// ---------------------------------------------------------------------------
// Systems

IParticleSystem::IParticleSystem(const irr::core::stringw& name, float duration, float age,
                                 const irr::video::SMaterial& material, IParticleStage* stage,
                                 irr::scene::ISceneNode* node)
    : name_(name), duration_(duration), age_(age), material_(material), stage_(stage), node_(node) {
  stage_->grab();
  if (node_ != nullptr)
    node_->grab();
  readStage();
}

IParticleSystem::~IParticleSystem() { end(); }

bool IParticleSystem::drop() {
  if (--references_ > 0)
    return false;
  delete this;
  return true;
}

void IParticleSystem::readStage() {
  stage_->getPosition(placement_.position);
  stage_->getRotation(placement_.rotation);
  stage_->getVelocity(placement_.velocity);
  stage_->getScale(placement_.scale);
  placement_.firstFlag = stage_->getFirstFlag();
  placement_.secondFlag = stage_->getSecondFlag();
  if (node_ != nullptr) {
    node_->setPosition(placement_.position);
    node_->setRotation(placement_.rotation);
    node_->setScale(placement_.scale);
    node_->updateAbsolutePosition();
  }
}

bool IParticleSystem::step(float seconds) {
  if (hasEnded())
    return true;
  age_ += seconds;
  if (age_ >= duration_) {
    end();
    return true;
  }
  readStage();
  return false;
}

void IParticleSystem::end() {
  if (stage_ != nullptr) {
    stage_->drop();
    stage_ = nullptr;
  }
  if (node_ != nullptr) {
    node_->drop();
    node_ = nullptr;
  }
}

// ---------------------------------------------------------------------------
// Generator

bool IParticleSystemGenerator::drop() {
  if (--references_ > 0)
    return false;
  clear();
  delete this;
  return true;
}

namespace {

constexpr float kDefaultDuration = 1.0f;
// Definition files are a few kilobytes; anything near this is no such file.
constexpr uint64_t kLargestDefinitionFile = 4u << 20;

struct Definition {
  float duration = kDefaultDuration;
  irr::video::SMaterial material;
};

irr::core::stringw widen(const std::string& text) {
  irr::core::stringw out;
  out.reserve(static_cast<irr::u32>(text.size()) + 1);
  for (unsigned char c : text)
    out.append(static_cast<wchar_t>(c));
  return out;
}

std::string trim(const std::string& text) {
  const char* const kBlanks = " \t";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos)
    return std::string();
  const std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

// A decimal number, the whole text of it; false for anything else.
bool readNumber(const std::string& text, float& out) {
  if (text.empty())
    return false;
  char* end = nullptr;
  const float value = std::strtof(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value))
    return false;
  out = value;
  return true;
}

}  // namespace

class CParticleSystemGenerator : public IParticleSystemGenerator {
 public:
  explicit CParticleSystemGenerator(MessageSink sink) : sink_(sink) {}

  void setMaterialRequestCallback(MaterialRequestCallback* callback) override { callback_ = callback; }

  irr::u32 loadDefinitions(const std::string& path) override {
    std::string bytes;
    if (plat::readRegularFile(path, bytes, kLargestDefinitionFile) != 0) {
      report(MessageLevel::Error, "Unable to open particle system file '%s'\n", path.c_str());
      return 0;
    }
    Reader reader(*this, path);
    int lineNumber = 0;
    std::size_t at = 0;
    while (at <= bytes.size()) {
      // Count each "\n" (and a "\r" not followed by one) as a line end.
      std::size_t end = bytes.find_first_of("\r\n", at);
      if (end == std::string::npos)
        end = bytes.size();
      ++lineNumber;
      std::string line = bytes.substr(at, end - at);
      const std::size_t comment = line.find("//");
      if (comment != std::string::npos)
        line.erase(comment);
      reader.line(trim(line), lineNumber);
      if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n')
        ++end;
      at = end + 1;
    }
    reader.finish();
    return reader.added;
  }

  bool hasDefinition(const irr::core::stringw& name) const override {
    return definitions_.count(std::wstring(name.c_str())) != 0;
  }

  IParticleSystem* create(const irr::core::stringw& name, float duration, IParticleStage* stage,
                          irr::scene::ISceneNode* node, float startAge) override {
    const auto found = definitions_.find(std::wstring(name.c_str()));
    if (found == definitions_.end() || stage == nullptr)
      return nullptr;
    const Definition& definition = found->second;
    auto* system = new IParticleSystem(name, duration > 0.0f ? duration : definition.duration, startAge,
                                       definition.material, stage, node);
    // The caller's reference, and the generator's own while it runs.
    system->grab();
    running_.push_back(system);
    return system;
  }

  void update(float seconds) override {
    std::size_t kept = 0;
    for (IParticleSystem* system : running_) {
      if (system->step(seconds))
        system->drop();
      else
        running_[kept++] = system;
    }
    running_.resize(kept);
  }

  irr::u32 getRunningCount() const override { return static_cast<irr::u32>(running_.size()); }

  void clear() override {
    std::vector<IParticleSystem*> systems;
    systems.swap(running_);
    for (IParticleSystem* system : systems) {
      system->end();
      system->drop();
    }
  }

 private:
  // One file's reading state.
  struct Reader {
    Reader(CParticleSystemGenerator& generator, const std::string& file) : owner(generator), path(file) {}

    CParticleSystemGenerator& owner;
    const std::string& path;
    bool open = false;  // inside a block
    bool named = false;
    std::wstring name;
    Definition definition;
    std::string materialName;
    int materialLine = 0;
    irr::u32 added = 0;

    void line(const std::string& text, int number) {
      if (text.empty())
        return;
      const std::size_t colon = text.find(':');
      if (colon == std::string::npos) {
        if (text == "EndParticleSystem")
          finish();
        else
          owner.fault(path, number, "PD001", "Unrecognized key \"%s\"\n", text.c_str());
        return;
      }
      const std::string key = trim(text.substr(0, colon));
      const std::string value = trim(text.substr(colon + 1));
      if (key == "ParticleSystem") {
        finish();
        open = true;
        named = !value.empty();
        name = widen(value).c_str();
        definition = Definition();
        materialName.clear();
        if (!named)
          owner.fault(path, number, "PD004", "A particle system needs a name\n");
        return;
      }
      if (!open) {
        owner.fault(path, number, "PD002", "\"%s\" outside a particle system\n", key.c_str());
        return;
      }
      if (key == "Duration") {
        float seconds = 0.0f;
        if (readNumber(value, seconds) && seconds > 0.0f)
          definition.duration = seconds;
        else
          owner.fault(path, number, "PD003", "Duration '%s' must be greater than 0\n", value.c_str());
      } else if (key == "Material") {
        materialName = value;
        materialLine = number;
      } else {
        owner.fault(path, number, "PD001", "Unrecognized key \"%s\"\n", key.c_str());
      }
    }

    // Ends the open block, if any, and keeps its definition.
    void finish() {
      if (!open)
        return;
      open = false;
      if (!named)
        return;
      if (!materialName.empty() && owner.callback_ != nullptr &&
          !owner.callback_->requestMaterial(widen(materialName), definition.material))
        owner.warn(path, materialLine, "PD005", "Material \"%s\" not loaded\n", materialName.c_str());
      owner.definitions_[name] = definition;
      ++added;
    }
  };

  void report(MessageLevel level, const char* format, ...) __attribute__((format(printf, 3, 4))) {
    if (sink_ == nullptr)
      return;
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    sink_(level, text);
  }

  // "<file>(<line>) <level> <code>: " and the formatted message.
  void vnote(const std::string& path, int line, MessageLevel level, const char* code, const char* format,
             va_list args) {
    char message[768];
    std::vsnprintf(message, sizeof message, format, args);
    report(level, "%s(%i) %s %s: %s", path.c_str(), line, level == MessageLevel::Error ? "error" : "warning",
           code, message);
  }
  void fault(const std::string& path, int line, const char* code, const char* format, ...)
      __attribute__((format(printf, 5, 6))) {
    va_list args;
    va_start(args, format);
    vnote(path, line, MessageLevel::Error, code, format, args);
    va_end(args);
  }
  void warn(const std::string& path, int line, const char* code, const char* format, ...)
      __attribute__((format(printf, 5, 6))) {
    va_list args;
    va_start(args, format);
    vnote(path, line, MessageLevel::Warning, code, format, args);
    va_end(args);
  }

  MessageSink sink_;
  MaterialRequestCallback* callback_ = nullptr;
  std::map<std::wstring, Definition> definitions_;
  std::vector<IParticleSystem*> running_;
};

IParticleSystemGenerator* createParticleSystemGenerator(MessageSink sink) {
  return new CParticleSystemGenerator(sink);
}

}  // namespace ps
