#include "ReadAhead.h"

#include <algorithm>
#include <system_error>

namespace mailstore {

ReadAhead::ReadAhead(Profile& profile, const std::string& folderId, const std::vector<std::uint32_t>& serials,
                     size_t window)
    : rewrites_(profile.Rewrites()), window_(std::max<size_t>(window, 2)) {
  const std::string folder = profile.Folder(folderId).Path;
  const auto& entries = profile.Entries(folderId);
  slots_.reserve(serials.size());
  for (std::uint32_t serial : serials) {
    auto it = entries.find(serial);
    if (it == entries.end() || at_.count(serial)) continue;
    at_.emplace(serial, slots_.size());
    slots_.emplace_back().Path = folder + it->second.File;
  }
  // Fewer threads, or none, only mean that Take reads more messages itself.
  for (int i = 0; i < Threads && static_cast<size_t>(i) < slots_.size(); ++i) {
    try {
      threads_.emplace_back(&ReadAhead::Read, this);
    } catch (const std::system_error&) {
      break;
    }
  }
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  room_.notify_all();
  for (std::thread& t : threads_) t.join();
}

// Every wake-up of a waiting thread is a round trip to the server under Wine,
// so the threads wake the caller only for the message it waits for, and the
// caller wakes the threads only once half the window is free again.
void ReadAhead::Read() {
  for (;;) {
    size_t i;
    {
      std::unique_lock lock(mutex_);
      next_ = std::max(next_, taken_);
      while (!stop_ && next_ < slots_.size() && next_ >= taken_ + window_) {
        ++blocked_;
        room_.wait(lock);
        --blocked_;
        next_ = std::max(next_, taken_);
      }
      if (stop_ || next_ >= slots_.size()) return;
      i = next_++;
      slots_[i].Claimed = true;
    }
    std::optional<MailMessage> message;
    std::string error;
    try {
      message = ReadMessageFile(slots_[i].Path);
    } catch (const Exception& e) {
      error = e.Message;
    } catch (const std::exception& e) {
      error = "The message " + slots_[i].Path + " cannot be read: " + e.what();
    }
    bool wanted;
    {
      std::lock_guard lock(mutex_);
      if (i >= taken_) {
        slots_[i].Message = std::move(message);
        slots_[i].Error = std::move(error);
      }
      slots_[i].Done = true;
      wanted = waiting_ == i;
    }
    if (wanted) ready_.notify_one();
  }
}

void ReadAhead::Pass(size_t upTo) {
  for (size_t passed = taken_; passed < upTo; ++passed) slots_[passed].Message.reset();
  taken_ = upTo;
  if (blocked_ > 0 && next_ < taken_ + window_ / 2) room_.notify_all();
}

std::optional<MailMessage> ReadAhead::Take(const Profile& profile, std::uint32_t serial) {
  auto at = at_.find(serial);
  if (at == at_.end() || profile.Rewrites() != rewrites_) return std::nullopt;
  size_t i = at->second;
  std::unique_lock lock(mutex_);
  if (i < taken_) return std::nullopt;
  Slot& slot = slots_[i];
  if (!slot.Claimed) {
    // The threads are behind: read this one here rather than wait for them.
    slot.Claimed = true;
    Pass(i + 1);
    lock.unlock();
    return ReadMessageFile(slot.Path);
  }
  Pass(i);
  waiting_ = i;
  ready_.wait(lock, [&] { return slot.Done; });
  waiting_ = NotWaiting;
  std::optional<MailMessage> message = std::exchange(slot.Message, std::nullopt);
  Pass(i + 1);
  if (!message) throw EMailStore(slot.Error);
  return message;
}

}  // namespace mailstore
