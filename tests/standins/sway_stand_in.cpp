// A stand-in for sway's swaymsg and swaybg that parses a command the way
// sway 1.7 to 1.10 does over its IPC socket, so that a test sees what sway
// would make of the arguments the program sends:
//  1. swaymsg joins its arguments with blanks;
//  2. the command list is cut at ";" and "," outside quotes, unless escaped;
//  3. a command is cut into words at blanks outside quotes, unless escaped;
//  4. a word after the first that starts with a quote loses every quote not
//     escaped; backslashes all stay;
//  5. "output NAME bg FILE... MODE": the words before the first mode word
//     are joined with blanks, two blanks in a row become " \ ", and the
//     result is expanded as a shell word (wordexp), which must give exactly
//     one file name;
//  6. a file that is not there is passed over with exit status 0 and the
//     old background stays; otherwise the old swaybg is stopped and a new
//     one starts with "-o NAME -i FILE -m MODE".
//   sway_stand_in swaymsg FOLDER ARGS...   (FOLDER holds swaybg, a link to this program)
//   swaybg -o NAME -i FILE -m MODE          (opens FILE, waits to be stopped, a minute at most)
#include <signal.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wordexp.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

const std::string kBlanks = " \f\n\r\t\v";

// Where a quote or backslash leaves the scan of a command.
struct QuoteState {
  bool inDouble = false;
  bool inSingle = false;
  bool escaped = false;

  // Whether c stands outside quotes and escapes; advances the state past it.
  bool plain(char c) {
    const bool wasEscaped = escaped;
    escaped = false;
    if (c == '\\') {
      escaped = !wasEscaped;
      return false;
    }
    if (wasEscaped) return false;
    if (c == '"' && !inSingle) {
      inDouble = !inDouble;
      return false;
    }
    if (c == '\'' && !inDouble) {
      inSingle = !inSingle;
      return false;
    }
    return !inDouble && !inSingle;
  }
};

// The pieces of text between separators that stand outside quotes and
// escapes; pieces of nothing but blanks are dropped, as sway ignores them.
std::vector<std::string> cutAt(const std::string& text, const std::string& separators) {
  std::vector<std::string> pieces{std::string()};
  QuoteState state;
  for (const char c : text) {
    if (state.plain(c) && separators.find(c) != std::string::npos) {
      pieces.emplace_back();
      continue;
    }
    pieces.back() += c;
  }
  std::vector<std::string> kept;
  for (const std::string& piece : pieces)
    if (piece.find_first_not_of(kBlanks) != std::string::npos) kept.push_back(piece);
  return kept;
}

std::string withoutQuotes(const std::string& word) {
  std::string out;
  bool inDouble = false, inSingle = false, escaped = false;
  for (const char c : word) {
    if (c == '\\') {
      escaped = !escaped;
      out += c;
      continue;
    }
    const bool wasEscaped = escaped;
    escaped = false;
    if (!wasEscaped && c == '\'' && !inDouble) {
      inSingle = !inSingle;
      continue;
    }
    if (!wasEscaped && c == '"' && !inSingle) {
      inDouble = !inDouble;
      continue;
    }
    out += c;
  }
  return out;
}

std::string joined(const std::vector<std::string>& words, size_t from, size_t to) {
  std::string text;
  for (size_t i = from; i < to; ++i) text += (i > from ? " " : "") + words[i];
  return text;
}

bool isMode(const std::string& word) {
  for (const char* mode : {"stretch", "center", "fill", "fit", "tile"})
    if (strcasecmp(word.c_str(), mode) == 0) return true;
  return false;
}

bool expandPath(std::string path, std::string* expanded) {
  for (size_t at = path.find("  "); at != std::string::npos; at = path.find("  ")) path.insert(at + 1, "\\");
  wordexp_t words{};
  const int status = wordexp(path.c_str(), &words, WRDE_NOCMD);
  if (status != 0 || words.we_wordc == 0) {
    if (status == 0) wordfree(&words);
    return false;
  }
  std::vector<std::string> parts(words.we_wordv, words.we_wordv + words.we_wordc);
  wordfree(&words);
  *expanded = joined(parts, 0, parts.size());
  return true;
}

int refuse(const std::string& why) {
  std::cout << "[ { \"success\": false, \"parse_error\": true, \"error\": \"" << why << "\" } ]\n";
  std::cerr << "Error: " << why << "\n";
  return 2;
}

void startSwaybg(const std::string& folder, const std::string& output, const std::string& file,
                 const std::string& mode) {
  std::ifstream oldPid(folder + "/swaybg.pid");
  pid_t old = 0;
  if (oldPid >> old && old > 0) ::kill(old, SIGTERM);
  const pid_t child = ::fork();
  if (child == 0) {
    ::setsid();
    const std::string program = folder + "/swaybg";
    ::execl(program.c_str(), program.c_str(), "-o", output.c_str(), "-i", file.c_str(), "-m", mode.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::ofstream(folder + "/swaybg.pid") << child << "\n";
  std::ofstream(folder + "/background") << file;
}

int swaymsg(const std::string& folder, const std::vector<std::string>& arguments) {
  const std::vector<std::string> commands = cutAt(joined(arguments, 0, arguments.size()), ";,");
  if (commands.size() != 1) return refuse("more than one command");
  std::vector<std::string> words = cutAt(commands.front(), kBlanks);
  for (size_t i = 1; i < words.size(); ++i)
    if (words[i][0] == '"' || words[i][0] == '\'') words[i] = withoutQuotes(words[i]);
  if (words.size() < 5 || words[0] != "output" || words[2] != "bg") return refuse("not a background command");
  size_t mode = 3;
  while (mode < words.size() && !isMode(words[mode])) ++mode;
  if (mode == words.size()) return refuse("Missing background scaling mode.");
  if (mode == 3) return refuse("Missing background file");
  if (mode + 1 != words.size()) return refuse("words after the mode");
  std::string file;
  if (!expandPath(joined(words, 3, mode), &file)) return refuse("Invalid syntax");
  std::cout << "[ { \"success\": true } ]\n";
  if (::access(file.c_str(), F_OK) != 0) {
    std::cerr << "Unable to access background file '" << file << "'\n";
    return 0;
  }
  startSwaybg(folder, words[1], file, words[mode]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string self = argv[0];
  if (self.size() >= 6 && self.compare(self.size() - 6, 6, "swaybg") == 0) {
    // swaybg reads its picture as it starts.
    if (argc == 7) std::ifstream picture(argv[4]);
    ::sleep(60);
    return 0;
  }
  if (argc < 3 || std::string(argv[1]) != "swaymsg") {
    std::cerr << "usage: sway_stand_in swaymsg FOLDER ARGS...\n";
    return 64;
  }
  return swaymsg(argv[2], std::vector<std::string>(argv + 3, argv + argc));
}
