#pragma once
// The help file "QUILLON.HLP" (an HTML document with one anchor per
// context number) and the small window that shows it at a topic.
#include <QDialog>
#include <QString>
#include <vector>

class QTextBrowser;
class QPushButton;

namespace quillon {

// The help file: the one set by SetHelpFilePath, else FindHelpFile for the
// running program's folder, whatever the working folder.
QString HelpFilePath();
// Where "QUILLON.HLP" is looked for, in order: beside the program file,
// in ../share/quillon/ from it, then in quillon/ of the system's data
// folders ($XDG_DATA_DIRS).
std::vector<QString> HelpFileCandidates(const QString& programDir);
std::vector<QString> HelpFileCandidates(const QString& programDir, const QString& name);
// The first candidate that is a file; the first candidate when none is.
// Outside Japanese locales (ProgramLanguage) the English help
// "QUILLON_EN.HLP" is looked for first, in the same places.
QString FindHelpFile(const QString& programDir);
void SetHelpFilePath(const QString& path);  // empty: beside the program again

// The document with the program version filled in; empty when the file
// cannot be read.
QString LoadHelpDocument(const QString& path);
// Context numbers that have a topic (an anchor) in the document.
std::vector<int> HelpTopics(const QString& html);

// Opens the help window at the topic of the context (0: contents). Returns
// 1 when the topic was found, 0 when the file is missing or the topic
// unknown (the window then shows what it can).
int ShowHelp(int context);

class THelpViewer : public QDialog {
  Q_OBJECT
 public:
  explicit THelpViewer(QWidget* parent = nullptr);

  // Loads the file when it changed and scrolls to the topic.
  int ShowTopic(const QString& path, int context);
  int CurrentContext() const { return currentContext_; }

  QTextBrowser* Browser = nullptr;
  QPushButton* btnClose = nullptr;

 private:
  QString loadedPath_;
  QString html_;
  std::vector<int> topics_;
  int currentContext_ = -1;
};

// The one help window of the program, created on first use.
THelpViewer* HelpViewer();

}  // namespace quillon
