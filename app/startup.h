// The application object's services: names, control ids, the settings store, the single
// running copy per user, help pages, message boxes and the conversions between Qt text and the
// byte paths the core works on.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <string>

class QLocalServer;
class QWidget;

constexpr const char* ORGANIZATION_NAME = "Pelmora";
constexpr const char* APPLICATION_NAME = "Pelmora";
constexpr const char* INSTANCE_NAME = "Pelmora";

// Every setting is a string value in this one group.
constexpr const char* SETTINGS_GROUP = "2.3";
constexpr const char* SETTING_LAST_INPUT_PATH = "LastInputPath";
constexpr const char* SETTING_OUTPUT_PATH = "Output Path";
constexpr const char* SETTING_PATH = "Path";

constexpr const char* HELP_GENERAL_PAGE = "help_general.html";
constexpr const char* HELP_INTRODUCTION_PAGE = "introduction.html";

// Control and menu ids. Every control carries its id as its object name (see id_name), so the
// same number may name controls on different pages.
namespace ids {
// main window
constexpr int FILE_LIST = 1000;
constexpr int PAGE_TABS = 1007;
constexpr int ADD_FILES = 1001;
constexpr int ADD_FOLDER = 1025;
constexpr int REMOVE_SELECTION = 4;
constexpr int CLEAR_ALL = 5;
constexpr int EXIT = 1084;
constexpr int CLOSE = 1062;
constexpr int MINIMIZE = 1061;
constexpr int MAIN_MENU = 1073;
constexpr int ALWAYS_ON_TOP = 1021;
// menus and their commands
constexpr int MENU_MAIN = 259;
constexpr int MENU_LIST = 270;
constexpr int CMD_HELP = 262;
constexpr int CMD_ABOUT = 264;
constexpr int CMD_MINIMIZE = 265;
constexpr int CMD_EXIT = 267;
constexpr int CMD_ADD_FILES = 271;
constexpr int CMD_ADD_DIR = 272;
constexpr int CMD_DELETE = 273;
constexpr int CMD_CLEAR_ALL = 274;
constexpr int CMD_SELECT_ALL = 323;
// output page
constexpr int OUTPUT_FOLDER = 1029;
constexpr int BROWSE = 1002;
constexpr int DECODE_SELECTED = 1012;
constexpr int DECODE_ALL = 1014;
constexpr int OPEN_FOLDER_WHEN_DONE = 1056;
constexpr int EXIT_WHEN_DONE = 1013;
// options page
constexpr int BITS_16 = 1019;
constexpr int BITS_8 = 1020;
constexpr int NORMALIZE = 1021;
constexpr int SKIP_SILENCE = 1011;
constexpr int FADE_IN_SLIDER = 1082;
constexpr int FADE_OUT_SLIDER = 1083;
constexpr int FADE_IN_EDIT = 1059;
constexpr int FADE_OUT_EDIT = 1060;
constexpr int EXACT_LENGTH = 1091;
// info page
constexpr int INFO_PROMPT = 1085;
constexpr int INFO_LINE_FIRST = 1086;  // the four header lines are 1086 to 1089
constexpr int TAG_TITLE = 1014;
constexpr int TAG_TRACK = 1010;
constexpr int TAG_ARTIST = 1015;
constexpr int TAG_YEAR = 1011;
constexpr int TAG_ALBUM = 1016;
constexpr int TAG_GENRE = 1074;
constexpr int TAG_COMMENT = 1012;
// progress dialog
constexpr int FILE_BAR = 1047;
constexpr int BATCH_BAR = 1066;
constexpr int FILE_LINE = 1067;
constexpr int COUNT_LINE = 1068;
constexpr int CANCEL = 2;
// About dialog
constexpr int ABOUT_CLOSE = 1;
}  // namespace ids

QString id_name(int id);

// Organization and application names, which also place the settings store.
void set_application_names();

// Missing values read as fallback.
QString read_setting(const char* name, const QString& fallback = QString());
void write_setting(const char* name, const QString& value);

// Paths reach the core as the file system's bytes, and come back the same way.
std::string path_bytes(const QString& path);
QString path_text(const std::string& bytes);
// Messages made by the core (they may hold paths).
QString core_text(const std::string& text);

// The help page beside the program or in ../share/pelmora, or empty when it is missing.
QString help_page_path(const QString& name);
// Opens the page in the default browser; does nothing when it is missing.
void open_help_page(const QString& name);

// Message boxes behind an interface, so that tests can answer them without a modal loop.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A box with an OK button.
    virtual void tell(QWidget* parent, const QString& text, QMessageBox::Icon icon) = 0;
    // A Yes/No question with the question icon; true for Yes.
    virtual bool ask(QWidget* parent, const QString& text) = 0;
};

class QtMessageBoxes : public MessageBoxes {
public:
    void tell(QWidget* parent, const QString& text, QMessageBox::Icon icon) override;
    bool ask(QWidget* parent, const QString& text) override;
};

// Per user: two users on one machine each run their own copy.
QString instance_server_name();

// Listens for later copies; each one that connects asks the window to come forward.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    explicit InstanceServer(QObject* parent = nullptr);
    // Takes over a name left behind by a copy that ended without closing its server.
    bool listen(const QString& name);

Q_SIGNALS:
    void comeForwardRequested();

private Q_SLOTS:
    void acceptConnection();

private:
    QLocalServer* server_;
};

// True when a running copy took the request (this copy then ends); false when none answered
// within timeoutMs.
bool ask_running_copy_forward(const QString& name, int timeoutMs);

// Restores a minimised window, raises it, and raises the modal dialog it shows, if any.
void bring_forward(QWidget* window);

// The whole program: start-up, the main window's modal loop, and the end.
int run_program(int argc, char** argv);
