// A window surface that only records: the controls of a template with their items, texts and
// states, the timers, deferred calls and endings. The dialog logic's tests drive the logic
// over it as a view would.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/dialog/dialog_surface.h"
#include "ui/dialog/dialog_template.h"

namespace pelorin::testing {

struct FakeControl {
    ui::ControlKind kind = ui::ControlKind::Label;
    std::vector<std::string> items;
    int selection = -1;
    std::string text;
    std::string toolTip;
    bool enabled = true;
    bool shown = true;
    bool readOnly = false;
    int bar = 0;
};

class FakeSurface final : public ui::IDialogSurface {
  public:
    // The controls of `dialog` at a font whose horizontal base unit is `baseUnitX` pixels.
    explicit FakeSurface(const ui::DialogTemplate& dialog, int baseUnitX = 6);

    void ClearItems(int id) override { At(id).items.clear(), At(id).selection = -1; }
    void InsertItem(int id, int index, const std::string& text) override;
    int ItemCount(int id) const override { return int(At(id).items.size()); }
    std::string ItemText(int id, int index) const override;
    int Selection(int id) const override { return At(id).selection; }
    void Select(int id, int index) override;
    std::string Text(int id) const override;
    void SetText(int id, const std::string& text) override { At(id).text = text; }
    void SetToolTip(int id, const std::string& text) override { At(id).toolTip = text; }
    void Enable(int id, bool enabled) override { At(id).enabled = enabled; }
    bool Enabled(int id) const override { return At(id).enabled; }
    void Show(int id, bool shown) override { At(id).shown = shown; }
    void SetBarPosition(int id, int percent) override { At(id).bar = percent; }
    std::string Caption() const override { return caption; }
    void SetCaption(const std::string& text) override { caption = text; }
    int Width() const override { return width; }
    void SetWidth(int pixels) override { width = pixels; }
    int DialogBaseUnitX() const override { return baseUnitX; }
    void SetStatusPart(int part, const std::string& text) override { statusParts[part] = text; }
    void SetReadOnly(int id, bool readOnly) override { At(id).readOnly = readOnly; }
    void SetFocus(int id) override { focus = id; }
    void StartTimer(int timerId, int periodMs) override { timers[timerId] = periodMs; }
    void StopTimer(int timerId) override { timers.erase(timerId); }
    void Defer(std::function<void()> call) override { deferred.push_back(std::move(call)); }
    void Beep() override { ++beeps; }
    void ShowAbout() override { ++aboutShown; }
    void EndDialog(bool accepted) override { ended = accepted; }
    void SetTaskbarProgress(ui::TaskbarState state, int percent) override {
        taskbar.emplace_back(state, percent);
    }
    bool IsActiveWindow() const override { return active; }
    void NotifyOperator(const std::string& title, const std::string& text) override {
        notifications.push_back(title + " | " + text);
    }

    FakeControl& At(int id);
    const FakeControl& At(int id) const;
    bool TimerRunning(int timerId) const { return timers.count(timerId) != 0; }
    // Runs the deferred calls, also those they defer in turn.
    void RunDeferred();

    std::map<int, FakeControl> controls;
    std::string caption;
    int baseUnitX;
    int width;
    std::string statusParts[2];
    std::map<int, int> timers;
    std::deque<std::function<void()>> deferred;
    int focus = 0;
    int beeps = 0;
    int aboutShown = 0;
    std::optional<bool> ended;
    std::vector<std::pair<ui::TaskbarState, int>> taskbar;
    bool active = true;
    std::vector<std::string> notifications;
};

}  // namespace pelorin::testing
