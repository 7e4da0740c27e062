#pragma once
// Sets an environment variable for its lifetime (SDL and libpulse read theirs when an output
// opens) and then puts the old value back, or removes the variable when it had none.
#include <QByteArray>
#include <QString>
#include <cstdlib>
#include <optional>

namespace vuvedid::test {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const QByteArray& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = QByteArray(old);
    setenv(name, value.constData(), 1);
  }
  ScopedEnv(const char* name, const QString& value) : ScopedEnv(name, value.toLocal8Bit()) {}
  ScopedEnv(const char* name, const char* value) : ScopedEnv(name, QByteArray(value)) {}
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->constData(), 1);
    else
      unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<QByteArray> old_;
};

}  // namespace vuvedid::test
