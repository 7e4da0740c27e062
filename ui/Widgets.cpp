#include "ui/Widgets.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/IntConvert.h"

namespace vuvedid {

FileEdit::FileEdit(Mode mode, QWidget* parent)
    : QWidget(parent), mode_(mode), edit_(new QLineEdit(this)), browse_(new QToolButton(this)) {
  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(1);
  lay->addWidget(edit_, 1);
  browse_->setText(QStringLiteral("…"));
  browse_->setFocusPolicy(Qt::NoFocus);
  lay->addWidget(browse_);
  setFocusProxy(edit_);
  connect(browse_, &QToolButton::clicked, this, &FileEdit::browse);
}

QString FileEdit::text() const { return edit_->text(); }
void FileEdit::setText(const QString& text) { edit_->setText(text); }

void FileEdit::browse() {
  const QString chosen = mode_ == Mode::Folder
                             ? QFileDialog::getExistingDirectory(this, QString(), edit_->text())
                             : QFileDialog::getOpenFileName(this, QString(), edit_->text());
  if (!chosen.isEmpty()) edit_->setText(chosen);
}

SpinEdit::SpinEdit(int minimum, int maximum, int value, QWidget* parent)
    : QAbstractSpinBox(parent), min_(minimum), max_(maximum) {
  setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  setText(QString::number(value));
}

int SpinEdit::value() const {
  int v = tryStrToInt(text()).value_or(min_);
  if (max_ != min_) v = std::clamp(v, min_, max_);
  return v;
}

void SpinEdit::setValue(int v) { setText(QString::number(v)); }

void SpinEdit::stepBy(int steps) {
  long long v = static_cast<long long>(value()) + steps;
  if (max_ != min_) v = std::clamp<long long>(v, min_, max_);
  setValue(static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX)));
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const {
  return StepUpEnabled | StepDownEnabled;
}

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, int selected,
                       QWidget* parent)
    : QGroupBox(caption, parent), items_(items), group_(new QButtonGroup(this)) {
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(4, 2, 4, 2);
  lay->setSpacing(0);
  for (int i = 0; i < items.size(); ++i) {
    auto* b = new QRadioButton(items[i], this);
    group_->addButton(b, i);
    lay->addWidget(b);
  }
  setItemIndex(selected);
}

int RadioGroup::itemIndex() const { return group_->checkedId(); }

void RadioGroup::setItemIndex(int index) {
  if (auto* b = group_->button(index)) b->setChecked(true);
}

}  // namespace vuvedid
