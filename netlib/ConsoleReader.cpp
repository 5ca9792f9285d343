#include "netlib/ConsoleReader.h"

#include <cstring>

#include "netlib/quillon.h"

namespace quillon::net {

uint32_t ReadConsoleLine(ConsoleChannel& channel, char* buffer, size_t size, int waitMs) {
  enum class State { Data, Command, Option };
  char line[kConsoleLineMax + 1];
  size_t length = 0;
  State state = State::Data;
  unsigned char command = 0;
  uint32_t result = 0;
  bool received = false;
  bool done = false;
  while (!done) {
    const int ready = channel.WaitReadable(waitMs);
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
  return result;
}

long BufferConsole::ReceiveByte(unsigned char* byte) {
  if (pos_ >= length_) return 0;
  *byte = bytes_[pos_++];
  return 1;
}

bool BufferConsole::SendBytes(const unsigned char* bytes, size_t length) {
  if (sendFails_) return false;
  for (size_t i = 0; i < length && sentLength_ < sizeof(sent_); ++i) sent_[sentLength_++] = bytes[i];
  return true;
}

}  // namespace quillon::net
