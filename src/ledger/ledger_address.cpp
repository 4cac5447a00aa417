#include "ledger/ledger_address.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace srom {
namespace {

// libpq's settings whose values are secrets (the ones it shows as "*").
constexpr std::array<std::string_view, 3> kSecretSettings = {
    "password", "sslpassword", "oauth_client_secret"};

constexpr std::string_view kSchemeEnd = "://";

// A part of the address to hide: [begin, end).
struct Span {
  std::size_t begin = 0;
  std::size_t end = 0;
};

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' ||
         c == '\v';
}

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "%XX" decoded; a '%' that starts no such pair stays as it is.
std::string PercentDecoded(std::string_view text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
        HexDigit(text[i + 2]) >= 0) {
      decoded +=
          static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

bool IsSecretSetting(std::string_view name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
  return std::find(kSecretSettings.begin(), kSecretSettings.end(), lower) !=
         kSecretSettings.end();
}

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
}

// The secrets of every URI in `text` ("scheme://" up to the next blank):
// the user-info's password, ports that are not numbers, and the values of
// secret query parameters.
void AddUriSpans(std::string_view text, std::vector<Span>& spans) {
  for (std::size_t scheme = text.find(kSchemeEnd);
       scheme != std::string_view::npos;
       scheme = text.find(kSchemeEnd, scheme + kSchemeEnd.size())) {
    const std::size_t start = scheme + kSchemeEnd.size();
    std::size_t end = start;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    const std::string_view uri = text.substr(start, end - start);

    // libpq looks for the user-info's '@' up to the first '/' and takes the
    // first one; the last one is hidden up to, whichever was meant.
    const std::size_t path = std::min(uri.find('/'), uri.size());
    const std::size_t at = uri.substr(0, path).rfind('@');
    std::size_t host = 0;
    if (at != std::string_view::npos) {
      const std::size_t colon = uri.substr(0, at).find(':');
      if (colon != std::string_view::npos) {
        spans.push_back({start + colon + 1, start + at});
      }
      host = at + 1;
    }

    // "host:port,host:port", "[v6]:port": a port that is not a number.
    const std::size_t host_end =
        std::min({uri.find('/', host), uri.find('?', host), uri.size()});
    for (std::size_t item = host; item < host_end;) {
      const std::size_t item_end = std::min(uri.find(',', item), host_end);
      std::size_t port = std::string_view::npos;
      if (uri[item] == '[') {
        const std::size_t close = uri.find(']', item);
        if (close != std::string_view::npos && close + 1 < item_end &&
            uri[close + 1] == ':') {
          port = close + 2;
        }
      } else {
        const std::size_t colon = uri.find(':', item);
        if (colon < item_end) port = colon + 1;
      }
      if (port != std::string_view::npos && port < item_end &&
          !AllDigits(uri.substr(port, item_end - port))) {
        spans.push_back({start + port, start + item_end});
      }
      item = item_end + 1;
    }

    const std::size_t query = uri.find('?', host);
    if (query == std::string_view::npos) continue;
    for (std::size_t param = query + 1; param < uri.size();) {
      const std::size_t param_end = std::min(uri.find('&', param), uri.size());
      const std::size_t equals = uri.find('=', param);
      if (equals < param_end &&
          IsSecretSetting(PercentDecoded(uri.substr(param, equals - param))) &&
          equals + 1 < param_end) {
        spans.push_back({start + equals + 1, start + param_end});
      }
      param = param_end + 1;
    }
  }
}

// True when `pos` lies inside a URI: after a "://" with no blank between.
bool InsideUri(std::string_view text, std::size_t pos) {
  const std::size_t scheme = text.rfind(kSchemeEnd, pos);
  if (scheme == std::string_view::npos) return false;
  for (std::size_t i = scheme; i < pos; ++i) {
    if (IsBlank(text[i])) return false;
  }
  return true;
}

// The value of every secret setting written as a word followed by '=' (a
// keyword/value string), or by ':' or blanks (a mistyped one).
void AddSettingSpans(std::string_view text, std::vector<Span>& spans) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
  for (std::string_view name : kSecretSettings) {
    for (std::size_t pos = lower.find(name); pos != std::string::npos;
         pos = lower.find(name, pos + 1)) {
      const std::size_t after = pos + name.size();
      if ((pos > 0 && IsWordChar(text[pos - 1])) ||
          (after < text.size() && IsWordChar(text[after]))) {
        continue;
      }
      std::size_t value = after;
      while (value < text.size() && IsBlank(text[value])) ++value;
      if (value < text.size() && (text[value] == '=' || text[value] == ':')) {
        ++value;
        while (value < text.size() && IsBlank(text[value])) ++value;
      } else if (value == after) {
        continue;  // the word alone, not a setting
      }
      std::size_t end = value;
      if (end < text.size() && text[end] == '\'') {
        // A quoted value runs to its closing quote; "\'" and "\\" inside.
        ++end;
        while (end < text.size() && text[end] != '\'') {
          end += text[end] == '\\' ? 2 : 1;
        }
        end = std::min(end + 1, text.size());
      } else {
        const bool in_uri = InsideUri(text, pos);
        while (end < text.size() && !IsBlank(text[end]) &&
               !(in_uri && text[end] == '&')) {
          ++end;
        }
      }
      if (end > value) spans.push_back({value, end});
    }
  }
}

// The spans to hide, sorted, overlapping ones merged.
std::vector<Span> SecretSpans(std::string_view address) {
  std::vector<Span> spans;
  AddUriSpans(address, spans);
  AddSettingSpans(address, spans);
  std::sort(spans.begin(), spans.end(),
            [](const Span& a, const Span& b) { return a.begin < b.begin; });
  std::vector<Span> merged;
  for (const Span& span : spans) {
    if (!merged.empty() && span.begin <= merged.back().end) {
      merged.back().end = std::max(merged.back().end, span.end);
    } else {
      merged.push_back(span);
    }
  }
  return merged;
}

// A quoted keyword/value string's value as libpq reads it.
std::string Unquoted(std::string_view value) {
  if (value.size() < 2 || value.front() != '\'') return std::string(value);
  std::string plain;
  for (std::size_t i = 1; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      plain += value[++i];
    } else if (value[i] != '\'' || i + 1 < value.size()) {
      plain += value[i];
    }
  }
  return plain;
}

void ReplaceAll(std::string& text, std::string_view what,
                std::string_view with) {
  if (what.empty()) return;
  for (std::size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + with.size())) {
    text.replace(at, what.size(), with);
  }
}

}  // namespace

std::string RedactedLedgerAddress(std::string_view address) {
  std::string redacted;
  std::size_t done = 0;
  for (const Span& span : SecretSpans(address)) {
    redacted += address.substr(done, span.begin - done);
    redacted += kRedactedSecret;
    done = span.end;
  }
  redacted += address.substr(done);
  return redacted;
}

std::string WithoutLedgerSecrets(std::string_view text,
                                 std::string_view address) {
  std::string result(text);
  ReplaceAll(result, address, RedactedLedgerAddress(address));
  std::vector<std::string> secrets;
  for (const Span& span : SecretSpans(address)) {
    const std::string_view secret =
        address.substr(span.begin, span.end - span.begin);
    secrets.emplace_back(secret);
    secrets.push_back(PercentDecoded(secret));
    secrets.push_back(Unquoted(secret));
    // libpq ends a user-info password at its first '@' and takes the rest
    // for the host, which its messages then quote.
    const std::size_t at = secret.find('@');
    if (at != std::string_view::npos) {
      secrets.emplace_back(secret.substr(0, at));
      secrets.emplace_back(secret.substr(at + 1));
    }
  }
  // The longest first, so that no part of a longer one is left standing.
  std::sort(secrets.begin(), secrets.end(),
            [](const std::string& a, const std::string& b) {
              return a.size() > b.size();
            });
  for (const std::string& secret : secrets) {
    ReplaceAll(result, secret, kRedactedSecret);
  }
  return result;
}

}  // namespace srom
