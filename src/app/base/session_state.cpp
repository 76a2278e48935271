#include "app/base/session_state.h"

std::atomic<bool> gameRunning{false};
std::atomic<double> gameTime{0.0};
double gameSpeed = 1.0;
double pendingGameSpeed = -1.0;
bool speedRampActive = false;
int32_t currentSeed = 0;
float realFrameTime = 0.0f;
float gameFrameTime = 0.0f;
std::atomic<int32_t> frameCounter{0};
bool firstFramePending = false;
bool speedRestorePending = false;
std::atomic<bool> simulationStarted{false};
std::atomic<bool> sessionActive{false};
std::atomic<bool> sessionEnding{false};
std::atomic<bool> statisticsActive{false};
std::atomic<bool> gameRulesActive{false};
std::atomic<bool> simulationRunning{false};
bool galaxyFailed = false;
std::atomic<bool> gameLoaded{false};
std::atomic<bool> sessionStarted{false};
double speedBeforePause = 1.0;
std::atomic<bool> svCheats{false};
std::atomic<int32_t> menuNextScreen{0};
