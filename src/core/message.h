// SPDX-License-Identifier: GPL-3.0-or-later
// What the engine reports, as an id with its arguments. The command line formats the English
// text of an id; the window formats a translated one from the same pattern, so a reworded
// English text can never silently lose its translation.
//
// A pattern holds "%1".."%9" for its arguments. An argument is plain text (a path, a number, a
// name: never translated) or a message of its own (a reason inside a failure line).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace carillon {

enum class MessageId : std::uint16_t {
    Plain,  // "%1": text shown as it is
#define CARILLON_MESSAGE(id, english) id,
#include "core/message_ids.inc"
#undef CARILLON_MESSAGE
};

struct MessagePattern {
    MessageId id;
    std::string_view name;     // the id's name, for tests and diagnostics
    std::string_view english;  // the English pattern, "%N" for the arguments
};

// Every id with its pattern, in the order of the enum.
std::span<const MessagePattern> MessagePatterns();
std::string_view EnglishPattern(MessageId id);
// The highest "%N" of a pattern: how many arguments it takes.
int PlaceholderCount(std::string_view pattern);

class Message;

struct MessageArg {
    std::string text;                        // used when `message` is empty
    std::shared_ptr<const Message> message;  // a message as an argument
};

class Message {
  public:
    Message() = default;
    explicit Message(MessageId id, std::vector<MessageArg> args = {})
        : id_(id), args_(std::move(args)) {}
    // Plain text, shown as it is in every language.
    static Message Text(std::string text) { return Message(MessageId::Plain, {Arg(text)}); }

    static MessageArg Arg(std::string text) { return {std::move(text), nullptr}; }
    static MessageArg Arg(Message message) {
        return {{}, std::make_shared<const Message>(std::move(message))};
    }

    MessageId id() const { return id_; }
    const std::vector<MessageArg>& args() const { return args_; }
    bool empty() const {
        return id_ == MessageId::Plain && (args_.empty() || args_[0].text.empty());
    }

  private:
    MessageId id_ = MessageId::Plain;
    std::vector<MessageArg> args_;
};

// Puts `args` into the "%N" of `pattern` in one pass, so that an argument holding "%2" (a path
// may) stays as it is. A "%N" without its argument stays as written.
std::string FillPattern(std::string_view pattern, const std::vector<std::string>& args);

// The English text of `message`.
std::string English(const Message& message);

// A text of several lines, each its own message; lines are joined by CR LF.
using MessageLines = std::vector<Message>;
std::string English(const MessageLines& lines);

}  // namespace carillon
