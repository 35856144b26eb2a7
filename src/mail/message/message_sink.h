// Where a message is written to, piece by piece: the SMTP connection, or a
// string in memory.
#pragma once

#include <string>

namespace veltrum {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // One piece of the message, bytes unchanged.
  virtual void write(const std::string& text) = 0;
  // The short pauses between the parts of a message.
  virtual void pause(int milliseconds) = 0;
};

// Collects what is written; a pause leaves `pauseMark` in the text so that
// its place can be seen.
class StringSink : public MessageSink {
 public:
  explicit StringSink(std::string pauseMark = "") : pauseMark_(std::move(pauseMark)) {}
  void write(const std::string& text) override { text_ += text; }
  void pause(int) override {
    text_ += pauseMark_;
    ++pauses_;
  }
  const std::string& text() const { return text_; }
  int pauses() const { return pauses_; }

 private:
  std::string pauseMark_;
  std::string text_;
  int pauses_ = 0;
};

}  // namespace veltrum
