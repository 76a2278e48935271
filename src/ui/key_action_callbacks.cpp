#include "ui/key_action_callbacks.h"


namespace {

bool notYet(uint8_t) { return false; }

struct NamedCallback {
  const wchar_t* name;
  NativeKeyAction::Callback callback;
};

const NamedCallback kCallbacks[] = {
    {L"screenshot", &notYet},
    {L"console", &notYet},
    {L"pause", &notYet},
    {L"unit_explore", &notYet},
    {L"unit_colonize", &notYet},
    {L"unit_defend", &notYet},
    {L"cancel_orders", &notYet},
    {L"make_fleet", &notYet},
    {L"join_nearest_fleet", &notYet},
    {L"deselect_all", &notYet},
    {L"next_subselection", &notYet},
    {L"select_nearest_fleet", &notYet},
    {L"zoom_to_object", &notYet},
    {L"camera_reset", &notYet},
    {L"camera_up", &notYet},
    {L"camera_down", &notYet},
    {L"camera_left", &notYet},
    {L"camera_right", &notYet},
    {L"camera_forward", &notYet},
    {L"camera_backward", &notYet},
    {L"camera_world_up", &notYet},
    {L"camera_world_down", &notYet},
    {L"camera_world_left", &notYet},
    {L"camera_world_right", &notYet},
    {L"camera_world_forward", &notYet},
    {L"camera_world_backward", &notYet},
    {L"camera_rot_up", &notYet},
    {L"camera_rot_down", &notYet},
    {L"camera_rot_left", &notYet},
    {L"camera_rot_right", &notYet},
    {L"camera_rot_left_roll", &notYet},
    {L"camera_rot_right_roll", &notYet},
};

}  // namespace

NativeKeyAction::Callback keyActionCallback(const irr::core::stringw& name) {
  for (const NamedCallback& entry : kCallbacks)
    if (name == entry.name) return entry.callback;
  return nullptr;
}
