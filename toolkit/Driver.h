// The user driver: user actions that take the same paths a real user's would, for tests,
// scripts and the GUI alike. An action on a control the user cannot reach (disabled,
// hidden, on a sheet that is not shown) is refused.
#pragma once

#include "toolkit/Application.h"
#include "toolkit/Controls.h"

#include <deque>
#include <functional>
#include <iosfwd>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace ravelin::toolkit {

class DriverError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
    // The error of one script line, "line N: what". A line run inside a dialog that an
    // earlier line opened fails with its own number only: the opener does not prefix it again.
    DriverError(unsigned line, const std::string& what);
    unsigned line() const { return line_; } // 0 where no line is named yet

  private:
    unsigned line_ = 0;
};

// Dialog answers queued by a script or a test; every message box is reported.
class ScriptedDialogs final : public DialogService {
  public:
    explicit ScriptedDialogs(std::ostream* log) : log_(log) {}
    int messageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> inputBox(const std::string& title, const std::string& prompt,
                                        const std::string& initial) override;
    std::optional<std::string> openFile(const FileDialogRequest& request) override;
    std::optional<Color> chooseColor(const Color& initial,
                                     std::vector<Color>& customColors) override;

    void answer(int result) { answers_.push_back(result); }
    void input(std::optional<std::string> text) { inputs_.push_back(std::move(text)); }
    void choose(std::optional<std::string> path) { files_.push_back(std::move(path)); }
    void color(std::optional<Color> c) { colors_.push_back(c); }
    std::vector<MessageBoxRequest> shown; // every message box, in order
    // Whether a path exists where the page looks for it (nullptr: the dialog checks nothing).
    // A chosen file that must exist, or whose folder must, and does not is refused.
    std::function<bool(const std::string& path)> Exists;

  private:
    std::ostream* log_;
    std::deque<int> answers_;
    std::deque<std::optional<std::string>> inputs_;
    std::deque<std::optional<std::string>> files_;
    std::deque<std::optional<Color>> colors_;
};

class UserDriver {
  public:
    explicit UserDriver(TForm& root) : root_(root) {}

    // The form names refer to: the innermost open modal dialog, else the root form.
    TForm& CurrentForm() const;
    // A component by name; "FRAME.NAME" reaches into a frame.
    TComponent& Find(const std::string& name) const;

    void Tab(const std::string& sheet);
    void Click(const std::string& name);
    void Check(const std::string& name, bool on);
    void Type(const std::string& name, const std::string& text);
    // Typing where the person's caret is (a window's field): each key goes through the
    // control's key handler, which may discard it, then lands at the caret.
    void Type(const std::string& name, const std::string& text, TCaret caret);
    void Set(const std::string& name, const std::string& text);
    void Select(const std::string& name, const std::string& item); // caption, tree path, or "#N"
    void Tick(const std::string& name, const std::string& item, bool on);
    void Spin(const std::string& name, int position);
    void Focus(const std::string& name);
    void DblClick(const std::string& name, const std::string& item = "");
    // A right button press on the control (on an item or tree node when given): OnMouseDown
    // at that point, then the control's PopupMenu opens there. A tree keeps its selection
    // (unless RightClickSelect); a list selects the item, as the system's list does.
    void RightClick(const std::string& name, const std::string& item);
    // "enter": a focused memo breaks the line, a focused button is pressed, else the form's
    // default button; "escape": the form's cancel button. Either closes an open menu first.
    void Press(const std::string& key);
    void Wait(int milliseconds);
    // Called around each user action a script performs (the host groups what one action
    // writes into one journal transaction, labelled with the control).
    std::function<void(const std::string& control)> BeforeAction;
    std::function<void()> AfterAction;

    // A property as text: checked, enabled, visible, text, caption, position, itemindex,
    // items, count, selected, image, tag, readonly, focused, lines, open (a pop-up menu).
    std::string Property(const std::string& name, const std::string& property) const;
    // A property of one item of a list, tree, check list or combo ("caption", "#N" or a tree
    // path): checked, selected, image, index, text, caption, subitems, expanded, items, count.
    std::string ItemProperty(const std::string& name, const std::string& item,
                             const std::string& property) const;

  private:
    TControl& Reachable(const std::string& name) const;
    TForm& root_;
};

// A script of user actions, one a line; it is also the input source of modal dialogs, so
// that lines after the one that opened a dialog act in it.
class ScriptRunner final : public InputSource {
  public:
    ScriptRunner(UserDriver& driver, ScriptedDialogs& dialogs, std::ostream& out);
    // Throws DriverError ("line N: ...") for a line that is not a valid action.
    void Load(const std::string& script);
    // Runs the remaining lines; throws DriverError naming the line of the first failing
    // expect or refused action.
    void Run();
    bool next() override; // one line
    // How long a person pauses before each action, on the toolkit's clock.
    static constexpr int kHumanPauseMs = 100;

  private:
    struct Line {
        unsigned number;
        std::vector<std::string> words;
    };
    void Execute(const Line& line);
    static bool number_or(const std::string& s);
    UserDriver& driver_;
    ScriptedDialogs& dialogs_;
    std::ostream& out_;
    std::vector<Line> lines_;
    std::size_t next_ = 0;
};

// Splits a script line into words. Double quotes group words and take \" \\ \n \t (any other
// backslash stands for itself); single quotes group words and take every character as it
// stands, up to the next single quote, so that 'C:\temp' is exactly that.
std::vector<std::string> SplitScriptLine(const std::string& line, unsigned number);

// A value written as a script reads it back: in double quotes where nothing needs escaping
// ("text"), in single quotes where it holds a backslash or double quote but no single
// quote and no control character ('C:\temp'), else in double quotes with escapes.
std::string ScriptLiteral(const std::string& value);

// The visible components of a form as an indented tree with their state.
std::string DescribeForm(TForm& form);
std::string DescribeFormJson(TForm& form);

} // namespace ravelin::toolkit
