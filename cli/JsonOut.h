#pragma once
// One JSON object on one line, built field by field in insertion order.

#include <cstdint>
#include <optional>
#include <string>

namespace cli {

// A JSON string literal of text: quotes, backslashes and control
// characters escaped; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(const std::string& text);

// The version of each command's line, its first field. The major number
// changes only when a field is removed or changes meaning (docs/schema/).
inline constexpr char kSchemaDownload[] = "quillon.download/1";
inline constexpr char kSchemaInventory[] = "quillon.inventory/1";
inline constexpr char kSchemaHistory[] = "quillon.history/1";
inline constexpr char kSchemaPlan[] = "quillon.plan/1";

class JsonLine {
 public:
  JsonLine& Add(const std::string& key, const std::string& value);
  JsonLine& Add(const std::string& key, const char* value);
  JsonLine& Add(const std::string& key, std::int64_t value);
  JsonLine& Add(const std::string& key, int value) { return Add(key, static_cast<std::int64_t>(value)); }
  JsonLine& Add(const std::string& key, std::uint32_t value) {
    return Add(key, static_cast<std::int64_t>(value));
  }
  JsonLine& Add(const std::string& key, bool value);
  JsonLine& AddNumber(const std::string& key, double value, int decimals);
  JsonLine& AddNull(const std::string& key);
  // The value, or null where there is none (an empty text, an empty optional).
  JsonLine& AddOrNull(const std::string& key, const std::string& value) {
    return value.empty() ? AddNull(key) : Add(key, value);
  }
  template <class T>
  JsonLine& AddOrNull(const std::string& key, const std::optional<T>& value) {
    return value ? Add(key, *value) : AddNull(key);
  }
  // A value that is JSON already (an array or object).
  JsonLine& AddRaw(const std::string& key, const std::string& json);
  // The object, without a line end.
  std::string Text() const { return body_ + "}"; }

 private:
  void Key(const std::string& key);
  std::string body_ = "{";
};

}  // namespace cli
