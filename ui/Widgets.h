#pragma once
// Control kinds the window needs that Qt has no exact match for.
#include <QAbstractSpinBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QStringList>
#include <QWidget>

#include "app/Timer.h"

class QButtonGroup;
class QToolButton;

namespace vuvedid {

// A text field with a browse button, for a file or for a folder.
class FileEdit : public QWidget {
  Q_OBJECT
 public:
  enum class Mode { File, Folder };
  explicit FileEdit(Mode mode, QWidget* parent = nullptr);
  QString text() const;
  void setText(const QString& text);
  QLineEdit* lineEdit() const { return edit_; }
  QToolButton* browseButton() const { return browse_; }

 private:
  void browse();
  Mode mode_;
  QLineEdit* edit_;
  QToolButton* browse_;
};

// A numeric spin field that, like the settings it is loaded from, holds any text: a port
// or volume that is not a number stays as typed and is interpreted only by value().
class SpinEdit : public QAbstractSpinBox {
  Q_OBJECT
 public:
  // minimum == maximum means no range.
  SpinEdit(int minimum, int maximum, int value, QWidget* parent = nullptr);
  // The integer the text stands for: the minimum when it is no integer, limited to the
  // range when there is one.
  int value() const;
  void setValue(int v);
  QString text() const { return lineEdit()->text(); }
  void setText(const QString& t) { lineEdit()->setText(t); }
  // The field's text editor, for watching its edits.
  QLineEdit* textEdit() const { return lineEdit(); }
  int minimum() const { return min_; }
  int maximum() const { return max_; }

  void stepBy(int steps) override;
  QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }

 protected:
  StepEnabled stepEnabled() const override;

 private:
  int min_, max_;
};

// A captioned group of radio buttons; itemIndex() is the index of the selected one.
class RadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  RadioGroup(const QString& caption, const QStringList& items, int selected,
             QWidget* parent = nullptr);
  int itemIndex() const;
  void setItemIndex(int index);
  QStringList items() const { return items_; }

 private:
  QStringList items_;
  QButtonGroup* group_;
};

// The hidden file list the playlist build uses: a folder, a mask and the plain file names
// listed from it.
class FileListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit FileListBox(QWidget* parent = nullptr) : QListWidget(parent) {}
  QString directory() const { return directory_; }
  void setDirectory(const QString& d) { directory_ = d; }
  QString mask() const { return mask_; }
  void setMask(const QString& m) { mask_ = m; }
  void setEntries(const QStringList& names) {
    clear();
    addItems(names);
  }
  QStringList entries() const {
    QStringList out;
    for (int i = 0; i < count(); ++i) out << item(i)->text();
    return out;
  }

 private:
  QString directory_;
  QString mask_ = QStringLiteral("*.mp3");
};

}  // namespace vuvedid
