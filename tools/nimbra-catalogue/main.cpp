// nimbra-catalogue publish SOURCE SITE [--url BASE] [--jobs N]
//
// Publishes the pictures of SOURCE, one folder a category (named by its
// number or its English caption), as a home site in SITE, to be served at
// BASE, an http:// or https:// address (by default the home site:
// NIMBRA_HOME_HOST from the environment, else the host this program was built
// with). See tools/publish/Publisher.h.
// Exit status: 0 published, 1 failed (the site is as it was), 2 bad command line.

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <cstdio>
#include <optional>

#include "platform/ProgramFolder.h"
#include "tools/publish/PublishRules.h"
#include "tools/publish/Publisher.h"

namespace {

struct Command {
  publish::PublishOptions options;
  QString url;
};

int usage() {
  std::fprintf(stderr,
               "usage: nimbra-catalogue publish SOURCE SITE [--url BASE] [--jobs N]\n"
               "  SOURCE  one folder a category: 1 to 5, or Nature, Cartoon, Holiday, Game and Movies,\n"
               "          Art & illustrator (any letter case); JPEG, PNG and BMP pictures, sub-folders too\n"
               "  SITE    the folder to serve; publishing again updates it\n"
               "  BASE    the address SITE is served at (default http://HOME-HOST/)\n"
               "  N       threads making pictures (default: one a core)\n");
  return 2;
}

// The home site the program itself would use without a setting.ini, with its final "/".
QString defaultBaseUrl() {
  const std::optional<QString> site = homeSiteAddress(qEnvironmentVariable("NIMBRA_HOME_HOST"));
  return site ? *site + u'/' : publish::baseUrlOfHost(builtInHomeHost());
}

bool takeValue(const QStringList& arguments, qsizetype& i, const QString& name, QString& value) {
  const QString& argument = arguments[i];
  if (argument.startsWith(name + u'=')) {
    value = argument.mid(name.size() + 1);
    return true;
  }
  if (argument != name || i + 1 >= arguments.size()) return false;
  value = arguments[++i];
  return true;
}

bool parse(const QStringList& arguments, Command& command) {
  if (arguments.isEmpty() || arguments[0] != QLatin1String("publish")) return false;
  QStringList folders;
  QString jobs;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    if (takeValue(arguments, i, QStringLiteral("--url"), command.url)) continue;
    if (takeValue(arguments, i, QStringLiteral("--jobs"), jobs)) continue;
    if (arguments[i].startsWith(u'-')) return false;
    folders << arguments[i];
  }
  if (folders.size() != 2) return false;
  command.options.source = folders[0];
  command.options.site = folders[1];
  if (!jobs.isEmpty()) {
    bool number = false;
    command.options.jobs = jobs.toInt(&number);
    if (!number || command.options.jobs < 1) return false;
  }
  return true;
}

class ProgressLine {
 public:
  ProgressLine() : m_terminal(::isatty(STDERR_FILENO) == 1) {}
  // On a terminal the line is rewritten in place; in a log, a line at every
  // tenth keeps it short.
  void show(int done, int total) {
    if (m_terminal) {
      std::fprintf(stderr, "\rnimbra-catalogue: making pictures %d/%d", done, total);
      m_open = done < total;
      if (!m_open) std::fputc('\n', stderr);
    } else if (done > 0 && (done == total || done * 10 / total != (done - 1) * 10 / total)) {
      std::fprintf(stderr, "nimbra-catalogue: making pictures %d/%d\n", done, total);
    }
  }
  void note(const QString& line) {
    if (m_open) std::fputc('\n', stderr);
    m_open = false;
    std::fprintf(stderr, "nimbra-catalogue: %s\n", qPrintable(line));
  }

 private:
  bool m_terminal;
  bool m_open = false;
};

}  // namespace

int main(int argc, char** argv) {
  const QCoreApplication application(argc, argv);  // the image format plugins need it
  Command command;
  if (!parse(application.arguments().mid(1), command)) return usage();
  QString problem;
  command.options.baseUrl =
      publish::siteBaseUrl(command.url.isEmpty() ? defaultBaseUrl() : command.url, &problem);
  if (command.options.baseUrl.isEmpty()) {
    std::fprintf(stderr, "nimbra-catalogue: %s: %s\n", qPrintable(command.url), qPrintable(problem));
    return 2;
  }
  ProgressLine progress;
  const publish::PublishSinks sinks{[&](const QString& line) { progress.note(line); },
                                    [&](int done, int total) { progress.show(done, total); }};
  QElapsedTimer clock;
  clock.start();
  const publish::PublishResult result = publish::publishCatalogue(command.options, sinks);
  if (!result.ok) {
    progress.note(QStringLiteral("failed: ") + result.error);
    return 1;
  }
  std::printf(
      "nimbra-catalogue: %d pictures for %s in %s (%d made, %d removed, %d passed over; index version %s%s) "
      "in %.2f s\n",
      result.pictures, qPrintable(command.options.baseUrl), qPrintable(command.options.site),
      result.processed, result.removed, result.passedOver, result.indexVersion.constData(),
      result.indexChanged ? ", new" : ", unchanged", clock.elapsed() / 1000.0);
  return 0;
}
