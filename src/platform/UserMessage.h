#pragma once
// A message for the user that a core operation reports instead of showing it. The GUI shows it
// in a message box captioned "Vantiro"; the command-line tools print it.

#include <string>

namespace vantiro {

enum class MessageIcon { Error, Information, Question, Warning };

struct UserMessage {
  std::string text;  // UTF-8
  MessageIcon icon = MessageIcon::Error;
  friend bool operator==(const UserMessage&, const UserMessage&) = default;
};

}  // namespace vantiro
