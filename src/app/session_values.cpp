#include "app/session_values.h"

#include <utility>

namespace sucaigang {

Text SessionValues::AccountUser() const {
  std::lock_guard lock(mutex_);
  return account_.user;
}

Text SessionValues::AccountPass() const {
  std::lock_guard lock(mutex_);
  return account_.pass;
}

SessionValues::Account SessionValues::ReadAccount() const {
  std::lock_guard lock(mutex_);
  return account_;
}

void SessionValues::ReplaceAccount(Text user, Text pass) {
  std::lock_guard lock(mutex_);
  account_.user = std::move(user);
  account_.pass = std::move(pass);
}

void SessionValues::SetAccountUser(Text user) {
  std::lock_guard lock(mutex_);
  account_.user = std::move(user);
}

void SessionValues::SetAccountPass(Text pass) {
  std::lock_guard lock(mutex_);
  account_.pass = std::move(pass);
}

}  // namespace sucaigang
