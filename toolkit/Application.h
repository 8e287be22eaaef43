// The toolkit's application object: the clock and timers, the dialog service, the source
// of user input that modal loops pull from, and what the system offers to forms (text
// metrics, system metrics, the cursor, beeps and help requests).
#pragma once

#include "toolkit/Controls.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ravelin::toolkit {

// Message boxes: icons and buttons as Windows numbers them.
inline constexpr int MB_OK = 0, MB_OKCANCEL = 1, MB_YESNOCANCEL = 3, MB_YESNO = 4;
inline constexpr int MB_ICONERROR = 0x10, MB_ICONQUESTION = 0x20, MB_ICONWARNING = 0x30,
                     MB_ICONINFORMATION = 0x40;
inline constexpr int MB_DEFBUTTON1 = 0, MB_DEFBUTTON2 = 0x100;
inline constexpr int IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7;

struct MessageBoxRequest {
    std::string title;
    std::string text;
    int flags = 0;
    int defaultResult() const; // the default button's result
};

struct FileDialogRequest {
    std::string title;
    std::string filter;        // "Bilder|*.bmp;*.png|Alle Dateien|*.*"
    std::string initialFolder; // host path
    std::string fileName;      // the name offered at first ("" for none)
    bool fileMustExist = true; // the dialog refuses a file that does not exist
    bool pathMustExist = true; // the dialog refuses a file in a folder that does not exist
};

struct Color {
    int r = 0, g = 0, b = 0;
};

// Message boxes, input boxes, file and colour dialogs: provided by the front end.
class DialogService {
  public:
    virtual ~DialogService() = default;
    virtual int messageBox(const MessageBoxRequest& request) = 0;
    virtual std::optional<std::string> inputBox(const std::string& title, const std::string& prompt,
                                                const std::string& initial) = 0;
    virtual std::optional<std::string> openFile(const FileDialogRequest& request) = 0;
    virtual std::optional<Color> chooseColor(const Color& initial,
                                             std::vector<Color>& customColors) = 0;
};

// Where modal loops get the user's next action (a script, a test, the GUI's events).
class InputSource {
  public:
    virtual ~InputSource() = default;
    // Performs one user action; false when there is none left.
    virtual bool next() = 0;
};

class TApplication {
  public:
    TApplication();
    static TApplication& Instance(); // the one application of the process

    // Clock: virtual time in tests and scripts (advanced by wait), real time in the GUI.
    std::int64_t Now() const { return now_; }
    // Fires due timers in order; how many fired (a front end redraws only then).
    int AdvanceClock(std::int64_t milliseconds);
    void ProcessMessages(); // fires timers that are due now

    void SetDialogService(DialogService* service) { dialogs_ = service; }
    DialogService* Dialogs() const { return dialogs_; }
    int MessageBox(const std::string& text, const std::string& title, int flags);
    void SetInputSource(InputSource* source) { input_ = source; }
    InputSource* Input() const { return input_; }

    // Called when a modal form's loop has ended, before its opener frees it (a front end
    // closes its window then).
    std::function<void(TForm&)> OnModalEnd;

    // Runs the exit events of a focus move (`exits`) that has handlers to run; `leaving` is
    // the control that loses the focus. What they write is a change of that control (a
    // front end journals it so); without a handler here they simply run.
    std::function<void(TWinControl& leaving, const std::function<void()>& exits)> OnFocusExit;

    // The pop-up menu that is open (nullptr for none): a user's next action either chooses
    // one of its items or closes it.
    TPopupMenu* OpenedMenu() const { return menu_; }
    void OpenMenu(TPopupMenu* menu);
    void CloseMenu() { OpenMenu(nullptr); }
    // Called when a menu opens or closes (a front end shows or hides it).
    std::function<void(TPopupMenu*)> OnMenuChange;

    // Modal forms, innermost last.
    const std::vector<TForm*>& ModalForms() const { return modal_; }
    int RunModal(TForm& form);

    // Width in pixels of a text in the dialog font (accelerator marks not counted).
    static int TextWidth(const std::string& text);
    // A front end that draws the text measures it (accelerator marks already removed);
    // without one, a table of the dialog font's typical widths is used.
    std::function<int(const std::string&)> MeasureText;
    // System metrics the pages use.
    static int GetSystemMetrics(int index);

    bool HourglassCursor = false;
    std::vector<std::string> Beeps;        // one entry per beep: the control that beeped
    std::vector<std::string> HelpRequests; // context-help popups asked for
    void Beep(const std::string& source) { Beeps.push_back(source); }

    // Timers register themselves.
    void AddTimer(TTimer* timer);
    void RemoveTimer(TTimer* timer);
    void ScheduleTimer(TTimer* timer);

  private:
    std::int64_t now_ = 0;
    DialogService* dialogs_ = nullptr;
    InputSource* input_ = nullptr;
    std::vector<TForm*> modal_;
    std::vector<TTimer*> timers_;
    TPopupMenu* menu_ = nullptr;
};

enum : int {
    SM_CXVSCROLL = 2,
    SM_CYHSCROLL = 3,
    SM_CXHSCROLL = 21,
    SM_CXEDGE = 45,
    SM_CYEDGE = 46
};

} // namespace ravelin::toolkit
