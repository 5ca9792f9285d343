#include "netlib/ConsoleReader.h"

#include <cstring>

#include "netlib/quillon.h"
#include "platform/Text.h"

namespace quillon::net {

bool IsAcceptedPrompt(const char* line) {
  static const char kPrompts[][32] = {"RX-LN1", "RX-LN2", "kest", ""};
  for (const char* prompt : kPrompts) {
    if (*prompt == '\0') break;
    if (std::strncmp(line, prompt, std::strlen(prompt)) == 0) return true;
  }
  return false;
}

bool IsCompletePrompt(const char* line, size_t length) {
  if (length >= 5 && platform::SameTextNoCase(std::string_view(line, 5), "User:")) {
    for (size_t i = 5; i < length; ++i) {
      if (line[i] != ' ') return false;
    }
    return true;
  }
  if (!IsAcceptedPrompt(line)) return false;
  if (length >= 1 && line[length - 1] == '>') return true;
  return length >= 2 && line[length - 2] == '>' && line[length - 1] == ' ';
}

uint32_t ReadConsoleLine(ConsoleChannel& channel, char* buffer, size_t size, int waitMs,
                         const Deadline& deadline, bool* cut) {
  if (cut != nullptr) *cut = false;
  enum class State { Data, Command, Option };
  char line[kConsoleLineMax + 1];
  size_t length = 0;
  size_t bytes = 0;
  State state = State::Data;
  unsigned char command = 0;
  uint32_t result = 0;
  bool received = false;
  bool done = false;
  while (!done) {
    line[length] = '\0';
    // A complete prompt is not followed by a line end: a short quiet spell
    // ends it instead of the full wait.
    const bool prompt = state == State::Data && IsCompletePrompt(line, length);
    const int wait = deadline.WaitMs(prompt && kPromptSettleMs < waitMs ? kPromptSettleMs : waitMs);
    const int ready = deadline.Bounded() && wait == 0 ? 0 : channel.WaitReadable(wait);
    if (ready < 0) {
      result = ERR_NOT_PRINTER;
      break;
    }
    if (ready == 0) {
      if (!received) result = ERR_NOT_PRINTER;
      break;
    }
    unsigned char byte = 0;
    if (channel.ReceiveByte(&byte) != 1) {
      result = ERR_NOT_PRINTER;
      break;
    }
    received = true;
    if (++bytes > kConsoleLineMaxBytes) {  // talk without end, or only negotiation
      if (length == 0) result = ERR_NOT_PRINTER;
      break;
    }
    switch (state) {
      case State::Data:  // plain text until IAC
        if (byte == kIac) {
          state = State::Command;
        } else {
          line[length++] = static_cast<char>(byte);
          done = byte == '\n' || length == kConsoleLineMax;
        }
        break;
      case State::Command:  // IAC IAC drops both; else the command byte
        if (byte == kIac) {
          state = State::Data;
        } else {
          command = byte;
          state = State::Option;
        }
        break;
      case State::Option:  // refuse every option offered or asked for
        state = State::Data;
        if (byte == kIac) break;
        if (command == kWill || command == kDo) {
          const unsigned char answer[3] = {kIac, command == kWill ? kDont : kWont, byte};
          if (!channel.SendBytes(answer, sizeof(answer))) {
            result = ERR_NOT_PRINTER;
            done = true;
          }
        }
        break;
    }
  }
  line[length] = '\0';
  if (result == 0 && buffer != nullptr && length < size) std::memcpy(buffer, line, length + 1);
  if (cut != nullptr) *cut = result == 0 && length == kConsoleLineMax && line[length - 1] != '\n';
  return result;
}

}  // namespace quillon::net
