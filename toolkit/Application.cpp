#include "toolkit/Application.h"

#include <algorithm>
#include <climits>

namespace ravelin::toolkit {

int MessageBoxRequest::defaultResult() const {
    const int buttons = flags & 0xF;
    const bool second = (flags & 0xF00) == MB_DEFBUTTON2;
    switch (buttons) {
    case MB_OKCANCEL:
        return second ? IDCANCEL : IDOK;
    case MB_YESNO:
        return second ? IDNO : IDYES;
    case MB_YESNOCANCEL:
        return second ? IDNO : IDYES;
    default:
        return IDOK;
    }
}

TApplication::TApplication() = default;

TApplication& TApplication::Instance() {
    // The application object of the process, as every form toolkit has one.
    static TApplication application;
    return application;
}

void TApplication::AddTimer(TTimer* timer) {
    timers_.push_back(timer);
}
void TApplication::RemoveTimer(TTimer* timer) {
    timers_.erase(std::remove(timers_.begin(), timers_.end(), timer), timers_.end());
}
void TApplication::ScheduleTimer(TTimer* timer) {
    // Interval 0 (or less) means the timer does not fire.
    timer->due_ = timer->Interval.get() > 0 ? now_ + timer->Interval.get() : INT64_MAX;
}

void TApplication::OpenMenu(TPopupMenu* menu) {
    if (menu == menu_) return;
    menu_ = menu;
    if (OnMenuChange) OnMenuChange(menu);
}

int TApplication::AdvanceClock(std::int64_t milliseconds) {
    const std::int64_t target = now_ + std::max<std::int64_t>(0, milliseconds);
    int fired = 0;
    while (true) {
        TTimer* next = nullptr;
        for (TTimer* t : timers_)
            if (t->enabled_ && t->Interval.get() > 0 && t->due_ <= target &&
                (!next || t->due_ < next->due_))
                next = t;
        if (!next) break;
        now_ = std::max(now_, next->due_);
        next->due_ = now_ + next->Interval.get();
        ++fired;
        if (next->OnTimer) next->OnTimer(*next);
    }
    now_ = target;
    return fired;
}

void TApplication::ProcessMessages() {
    AdvanceClock(0);
}

int TApplication::MessageBox(const std::string& text, const std::string& title, int flags) {
    MessageBoxRequest request{title, text, flags};
    return dialogs_ ? dialogs_->messageBox(request) : request.defaultResult();
}

int TApplication::RunModal(TForm& form) {
    form.ModalResult = mrNone;
    modal_.push_back(&form);
    CloseMenu();
    form.Show();
    try {
        while (form.ModalResult == mrNone) {
            // With no user input left, the dialog is closed as by its close box.
            if (!input_ || !input_->next()) form.ModalResult = mrCancel;
        }
    } catch (...) {
        // A failing action ends the loop: the dialog is no longer the one names refer to.
        modal_.erase(std::remove(modal_.begin(), modal_.end(), &form), modal_.end());
        form.Hide();
        throw;
    }
    modal_.pop_back();
    form.Hide();
    if (OnModalEnd) OnModalEnd(form);
    form.Fire(form.OnClose);
    return form.ModalResult;
}

int TApplication::TextWidth(const std::string& text) {
    if (const auto& measure = Instance().MeasureText) return measure(StripAccelerator(text));
    // Widths of the dialog font (8 point) by character class; close enough to lay out
    // labels the way the forms were designed.
    int width = 0;
    for (char c : StripAccelerator(text)) {
        auto u = static_cast<unsigned char>(c);
        if ((u & 0xC0) == 0x80) continue; // continuation bytes of one character
        if (std::string_view("iljI.,:;'|!").find(c) != std::string_view::npos)
            width += 3;
        else if (c == ' ' || c == 'f' || c == 't' || c == 'r')
            width += 4;
        else if (c == 'm' || c == 'w' || c == 'M' || c == 'W')
            width += 9;
        else if (c >= 'A' && c <= 'Z')
            width += 7;
        else
            width += 6;
    }
    return width;
}

int TApplication::GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CXHSCROLL:
        return 17;
    case SM_CXEDGE:
    case SM_CYEDGE:
        return 2;
    default:
        return 0;
    }
}

} // namespace ravelin::toolkit
