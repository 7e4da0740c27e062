#pragma once
// The two ways an event handler can end early.
//
// SilentAbort: the operation has already told the user what went wrong (or has nothing to
// say); it ends the current handler and every handler that ran it through a click, and
// the guard swallows it.
// AppError: anything else worth reporting; the guard shows its text in the default error
// report. Texts are UTF-8.
#include <QString>
#include <stdexcept>
#include <string>

namespace vuvedid {

class SilentAbort : public std::runtime_error {
 public:
  SilentAbort() : std::runtime_error("Operation aborted") {}
};

class AppError : public std::runtime_error {
 public:
  explicit AppError(const QString& text) : std::runtime_error(text.toStdString()) {}
  explicit AppError(const std::string& text) : std::runtime_error(text) {}
  QString text() const { return QString::fromUtf8(what()); }
};

// The conversion error of integer texts ("'%s' is not a valid integer value").
class ConvertError : public AppError {
 public:
  using AppError::AppError;
};

// File-system errors (a missing room folder, a file that cannot be written).
class FileError : public AppError {
 public:
  using AppError::AppError;
};

}  // namespace vuvedid
