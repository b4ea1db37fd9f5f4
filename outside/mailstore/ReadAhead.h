#pragma once
// Reads the message files of a folder's listing ahead of the caller who walks
// it, on threads of its own and a bounded number of messages ahead. Under Wine
// every file opened costs several round trips to the server; reading ahead
// overlaps them with the caller's own work on the messages before.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "MailStore.h"

namespace mailstore {

class ReadAhead {
 public:
  // The messages of `serials` (in the order they will be asked for) that the
  // folder's index lists, at most `window` ahead of the last one asked for;
  // starts reading at once.
  static constexpr size_t DefaultWindow = 32;
  ReadAhead(Profile& profile, const std::string& folderId, const std::vector<std::uint32_t>& serials,
            size_t window = DefaultWindow);
  ~ReadAhead();  // stops reading and waits for the threads
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The message as read ahead, waiting for it when it is being read; raises
  // EMailStore as Profile::ReadMessage does. Nothing when the message is not
  // one still ahead (asked for twice, out of order, or rewritten by the
  // profile since reading began): the caller reads it itself. Messages
  // before it are passed over.
  std::optional<MailMessage> Take(const Profile& profile, std::uint32_t serial);

 private:
  struct Slot {
    std::string Path;
    bool Claimed = false;  // being read, or read
    bool Done = false;
    std::optional<MailMessage> Message;
    std::string Error;
  };
  void Read();
  void Pass(size_t upTo);  // under the lock: the slots before upTo are no longer wanted

  static constexpr int Threads = 2;
  static constexpr size_t NotWaiting = ~size_t{0};
  std::vector<Slot> slots_;
  std::unordered_map<std::uint32_t, size_t> at_;
  long rewrites_;
  size_t window_;
  std::mutex mutex_;
  std::condition_variable room_, ready_;
  size_t next_ = 0;   // the next slot to read
  size_t taken_ = 0;  // slots before this one are passed
  size_t waiting_ = NotWaiting;  // the slot the caller waits for
  int blocked_ = 0;   // threads waiting for room in the window
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace mailstore
