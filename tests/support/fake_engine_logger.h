// A level source with the engine logger's numbering (debug 0, information 1,
// warning 2, error 3) that records nothing.
#pragma once

#include <ILogger.h>

class FakeEngineLogger : public irr::ILogger {
 public:
  explicit FakeEngineLogger(irr::ELOG_LEVEL start = irr::ELL_INFORMATION) : level(start) {}
  irr::ELOG_LEVEL getLogLevel() const override { return level; }
  void setLogLevel(irr::ELOG_LEVEL ll) override { level = ll; }
  void log(const irr::c8*, irr::ELOG_LEVEL) override {}
  void log(const irr::c8*, const irr::c8*, irr::ELOG_LEVEL) override {}
  void log(const irr::c8*, const wchar_t*, irr::ELOG_LEVEL) override {}
  void log(const wchar_t*, const wchar_t*, irr::ELOG_LEVEL) override {}
  void log(const wchar_t*, irr::ELOG_LEVEL) override {}
  irr::ELOG_LEVEL level;
};
