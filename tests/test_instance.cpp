// One program per session: the lock that makes a process the instance, and
// the channel through which later starts reach it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDataStream>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <memory>
#include <vector>

#include "platform/InstanceChannel.h"

namespace {
using namespace std::chrono_literals;

class InstanceTest : public ::testing::Test {
 protected:
  QString lockPath() const { return m_dir.filePath(QStringLiteral("nimbra-wallpaper.lock")); }
  QString socketPath() const { return m_dir.filePath(QStringLiteral("nimbra-wallpaper.socket")); }

  // The request as a later start sends it, answered by the server of this
  // thread's event loop.
  std::optional<InstanceReply> sendFromAnotherThread(const QStringList& request,
                                                     std::chrono::milliseconds timeout) {
    std::optional<InstanceReply> reply;
    std::atomic<bool> done = false;
    QThread* sender = QThread::create([&] {
      reply = sendToInstance(request, timeout, socketPath());
      done = true;
    });
    sender->start();
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    sender->wait();
    delete sender;
    return reply;
  }

  QTemporaryDir m_dir;
};

TEST_F(InstanceTest, OnlyOneHolderOfTheLockAtATime) {
  InstanceLock first(lockPath());
  InstanceLock second(lockPath());
  EXPECT_TRUE(first.tryTake());
  EXPECT_FALSE(second.tryTake());
  EXPECT_TRUE(second.error().isEmpty())
      << "a lock held by another is no error: " << qPrintable(second.error());
}

TEST_F(InstanceTest, TheLockIsFreeOnceItsHolderIsGone) {
  {
    InstanceLock first(lockPath());
    ASSERT_TRUE(first.tryTake());
  }
  InstanceLock next(lockPath());
  EXPECT_TRUE(next.tryTake());
}

TEST_F(InstanceTest, AProcessThatDiesWithoutCleaningUpBlocksNoOne) {
  // The child takes the lock, listens, and ends without any destructor, as a
  // crash ends: the lock file and the socket file stay behind.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    InstanceLock lock(lockPath());
    QLocalServer server;
    const bool ready = lock.tryTake() && server.listen(socketPath());
    _exit(ready ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(QFileInfo(socketPath()).exists())
      << "the crash left no socket file, so this test shows nothing";

  EXPECT_FALSE(sendToInstance({QStringLiteral("show")}, 2s, socketPath())) << "nobody should answer";
  InstanceLock lock(lockPath());
  EXPECT_TRUE(lock.tryTake());
  InstanceServer server([](const QStringList&) { return InstanceReply{}; });
  QString error;
  EXPECT_TRUE(server.listen(socketPath(), &error)) << qPrintable(error);
}

TEST_F(InstanceTest, ALockThatCannotBeMadeSaysWhy) {
  InstanceLock lock(m_dir.filePath(QStringLiteral("no-such-folder/nimbra-wallpaper.lock")));
  EXPECT_FALSE(lock.tryTake());
  EXPECT_FALSE(lock.error().isEmpty());
}

TEST_F(InstanceTest, TheRequestReachesTheInstanceAndItsAnswerComesBack) {
  QStringList received;
  InstanceServer server([&](const QStringList& request) {
    received = request;
    return InstanceReply{1, QStringLiteral("not a picture: /tmp/x y.txt")};
  });
  ASSERT_TRUE(server.listen(socketPath()));
  const QStringList request{QStringLiteral("set"), QStringLiteral("/tmp/x y.txt")};
  const std::optional<InstanceReply> reply = sendFromAnotherThread(request, 20s);
  ASSERT_TRUE(reply);
  EXPECT_EQ(received, request);
  EXPECT_EQ(reply->exitCode, 1);
  EXPECT_EQ(reply->message, QStringLiteral("not a picture: /tmp/x y.txt"));
}

// Work that takes a while is answered when it ends; the instance's event
// loop runs on meanwhile.
TEST_F(InstanceTest, AnAnswerGivenLaterReachesTheAskerAndTheLoopRunsMeanwhile) {
  bool loopRan = false;
  InstanceServer server(
      InstanceServer::DeferredHandler([&](const QStringList&, const InstanceServer::Answer& answer) {
        QTimer::singleShot(200, [&loopRan, answer] {
          loopRan = true;
          answer({1, QStringLiteral("the wallpaper was not changed: slow")});
        });
      }));
  ASSERT_TRUE(server.listen(socketPath()));
  const std::optional<InstanceReply> reply = sendFromAnotherThread({QStringLiteral("next")}, 20s);
  ASSERT_TRUE(reply);
  EXPECT_TRUE(loopRan);
  EXPECT_EQ(reply->exitCode, 1);
  EXPECT_EQ(reply->message, QStringLiteral("the wallpaper was not changed: slow"));
}

TEST_F(InstanceTest, NoInstanceListeningIsNoAnswer) {
  EXPECT_FALSE(sendToInstance({QStringLiteral("next")}, 2s, socketPath()));
}

TEST_F(InstanceTest, AnInstanceThatNeverAnswersEndsTheWaitAtTheTimeout) {
  // A server that takes the connection but says nothing.
  QLocalServer silent;
  ASSERT_TRUE(silent.listen(socketPath()));
  EXPECT_FALSE(sendFromAnotherThread({QStringLiteral("next")}, 500ms));
}

// Runs a hand-over to its end on this thread's event loop.
struct HandOverEnd {
  bool becameInstance = false;
  std::optional<InstanceReply> reply;
  QString gaveUp;
};
HandOverEnd runHandOver(InstanceHandOver& handOver) {
  HandOverEnd end;
  bool over = false;
  QObject::connect(&handOver, &InstanceHandOver::becameInstance, [&] { end.becameInstance = over = true; });
  QObject::connect(&handOver, &InstanceHandOver::answered, [&](const InstanceReply& reply) {
    end.reply = reply;
    over = true;
  });
  QObject::connect(&handOver, &InstanceHandOver::gaveUp, [&](const QString& why) {
    end.gaveUp = why;
    over = true;
  });
  handOver.start();
  while (!over) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return end;
}

// A start's --show handed over to the holder of the lock, which runs on a
// thread of its own, as another process would, begins listening on
// holderSocket after a delay and answers with the request's words.
HandOverEnd showToEchoingHolder(InstanceLock& mine, const QString& mySocket, const QString& holderSocket,
                                std::chrono::milliseconds delay) {
  QThread holderThread;
  auto* server = new InstanceServer([](const QStringList& request) {
    return InstanceReply{0, request.join(' ')};
  });
  server->moveToThread(&holderThread);
  QObject::connect(&holderThread, &QThread::finished, server, &QObject::deleteLater);
  holderThread.start();
  QTimer::singleShot(delay, server, [server, holderSocket] { server->listen(holderSocket); });
  InstanceHandOver handOver(mine, {QStringLiteral("show")}, 20s, mySocket);
  const HandOverEnd end = runHandOver(handOver);
  holderThread.quit();
  holderThread.wait();
  return end;
}

TEST_F(InstanceTest, AStartWaitsForAnInstanceThatBeginsListeningLate) {
  InstanceLock holder(lockPath());
  ASSERT_TRUE(holder.tryTake());
  // The holder runs on a thread of its own, as another process would; it is
  // still starting and listens only a moment later.
  InstanceLock mine(lockPath());
  const HandOverEnd end = showToEchoingHolder(mine, socketPath(), socketPath(), 300ms);
  ASSERT_TRUE(end.reply) << qPrintable(end.gaveUp);
  EXPECT_EQ(end.reply->message, QStringLiteral("show"));
  EXPECT_FALSE(mine.held());
}

TEST_F(InstanceTest, AStartTakesOverWhenTheHolderEndsWithoutListening) {
  // The holder is a command doing its work without a window.
  auto holder = std::make_unique<InstanceLock>(lockPath());
  ASSERT_TRUE(holder->tryTake());
  QTimer::singleShot(300, [&] { holder.reset(); });
  InstanceLock mine(lockPath());
  InstanceHandOver handOver(mine, {QStringLiteral("next")}, 20s, socketPath());
  const HandOverEnd end = runHandOver(handOver);
  EXPECT_TRUE(end.becameInstance) << qPrintable(end.gaveUp);
  EXPECT_TRUE(mine.held());
}

TEST_F(InstanceTest, AHolderThatNeverAnswersEndsTheWaitWithAReason) {
  InstanceLock holder(lockPath());
  ASSERT_TRUE(holder.tryTake());
  InstanceLock mine(lockPath());
  InstanceHandOver handOver(mine, {QStringLiteral("next")}, 300ms, socketPath());
  const HandOverEnd end = runHandOver(handOver);
  EXPECT_FALSE(end.becameInstance);
  EXPECT_FALSE(end.reply);
  EXPECT_TRUE(end.gaveUp.contains(lockPath()));
}

// An instance that takes the request and then freezes holds a later start no
// longer than that start's patience, not the full time an answer may take.
TEST_F(InstanceTest, AFrozenInstanceHoldsAStartNoLongerThanItsPatience) {
  InstanceLock holder(lockPath());
  ASSERT_TRUE(holder.tryTake());
  QLocalServer silent;
  ASSERT_TRUE(silent.listen(socketPath()));
  InstanceLock mine(lockPath());
  InstanceHandOver handOver(mine, {QStringLiteral("next")}, 300ms, socketPath());
  QElapsedTimer waited;
  waited.start();
  const HandOverEnd end = runHandOver(handOver);
  EXPECT_FALSE(end.reply);
  EXPECT_TRUE(end.gaveUp.contains(lockPath())) << qPrintable(end.gaveUp);
  EXPECT_LT(waited.elapsed(), std::chrono::milliseconds(kInstanceAnswerTime).count() / 3);
}

// What the running program answers is printed by the asking start: no byte
// of it may steer the terminal.
TEST_F(InstanceTest, AnAnswerReachesTheAskerWithoutControlCharacters) {
  InstanceServer server([](const QStringList&) {
    return InstanceReply{1, QStringLiteral("a\x1b]0;title\x07 b\tc\r\nd\x7f\u009b2Je \u00e9")};
  });
  ASSERT_TRUE(server.listen(socketPath()));
  const std::optional<InstanceReply> reply = sendFromAnotherThread({QStringLiteral("next")}, 20s);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->message, QStringLiteral("a]0;title b c  d2Je \u00e9"));
}

// A client that connects and sends nothing, or half a request, is dropped,
// so that it holds no connection of the running program.
TEST_F(InstanceTest, AClientThatSendsNoWholeRequestIsDropped) {
  InstanceServer server([](const QStringList&) { return InstanceReply{}; });
  ASSERT_TRUE(server.listen(socketPath()));
  QLocalSocket silent;
  QLocalSocket partial;
  silent.connectToServer(socketPath());
  partial.connectToServer(socketPath());
  ASSERT_TRUE(silent.waitForConnected(5000) && partial.waitForConnected(5000));
  partial.write(QByteArray::fromHex("000000020000"));
  partial.flush();
  QElapsedTimer bound;
  bound.start();
  const auto dropped = [&] {
    return silent.state() == QLocalSocket::UnconnectedState &&
           partial.state() == QLocalSocket::UnconnectedState;
  };
  while (!dropped() && bound.elapsed() < 30000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_TRUE(dropped());
}

// A request as every build of the program writes it.
void writeRequest(QLocalSocket& start, const QStringList& request) {
  QDataStream stream(&start);
  stream.setVersion(QDataStream::Qt_6_0);
  stream << request;
  start.flush();
}

// Starts of other builds of the program speak to this one: the request is a
// list of words and the reply an exit code and a line, in the stream format
// of Qt 6.0.
TEST_F(InstanceTest, ARequestInTheStreamFormatOfEveryBuildIsAnswered) {
  InstanceServer server([](const QStringList& request) { return InstanceReply{3, request.join('+')}; });
  ASSERT_TRUE(server.listen(socketPath()));
  QLocalSocket start;
  start.connectToServer(socketPath());
  ASSERT_TRUE(start.waitForConnected(5000));
  writeRequest(start, {QStringLiteral("set"), QStringLiteral("/tmp/é.jpg")});
  QDataStream stream(&start);
  stream.setVersion(QDataStream::Qt_6_0);
  qint32 exitCode = 0;
  QString message;
  QElapsedTimer bound;
  bound.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    stream.startTransaction();
    stream >> exitCode >> message;
  } while (!stream.commitTransaction() && bound.elapsed() < 30000);
  EXPECT_EQ(exitCode, 3);
  EXPECT_EQ(message, QStringLiteral("set+/tmp/é.jpg"));
}

// The socket file is all that keeps other users from the running program:
// it is this user's alone whatever the umask, and goes with the server.
TEST_F(InstanceTest, TheSocketIsThisUsersAloneAndGoesWithTheServer) {
  const QByteArray path = QFile::encodeName(socketPath());
  {
    InstanceServer server([](const QStringList&) { return InstanceReply{}; });
    const mode_t saved = ::umask(0);
    const bool listening = server.listen(socketPath());
    ::umask(saved);
    ASSERT_TRUE(listening);
    struct stat info {};
    ASSERT_EQ(::stat(path.constData(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 077, 0u) << "mode " << std::oct << (info.st_mode & 07777);
  }
  EXPECT_FALSE(QFileInfo::exists(socketPath()));
}

// A start that hangs up at once, one that gives up before its answer comes,
// and one that claims a request of four thousand million words leave the
// running program answering the next start.
TEST_F(InstanceTest, StartsThatLeaveEarlyOrSendNonsenseLeaveTheInstanceAnswering) {
  std::vector<InstanceServer::Answer> pending;
  InstanceServer server(
      InstanceServer::DeferredHandler([&](const QStringList& request, const InstanceServer::Answer& answer) {
        if (request == QStringList{QStringLiteral("slow")})
          pending.push_back(answer);
        else
          answer({0, request.join(' ')});
      }));
  ASSERT_TRUE(server.listen(socketPath()));
  const auto connected = [&](QLocalSocket& start) {
    start.connectToServer(socketPath());
    return start.waitForConnected(5000);
  };
  {
    QLocalSocket hangsUp;
    ASSERT_TRUE(connected(hangsUp));
  }
  QLocalSocket boasting;
  ASSERT_TRUE(connected(boasting));
  boasting.write(QByteArray::fromHex("ffffffff00000000"));
  boasting.flush();
  {
    QLocalSocket impatient;
    ASSERT_TRUE(connected(impatient));
    writeRequest(impatient, {QStringLiteral("slow")});
    QElapsedTimer bound;
    bound.start();
    while (pending.empty() && bound.elapsed() < 30000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  ASSERT_EQ(pending.size(), 1u);
  for (int turn = 0; turn < 10; ++turn) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  pending.front()({0, QStringLiteral("too late")});

  const std::optional<InstanceReply> reply = sendFromAnotherThread({QStringLiteral("show")}, 20s);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->message, QStringLiteral("show"));
}

// Stands for a program that takes every connection and hangs up without a
// word, on a thread of its own as another process would.
class HangingUpListener : public QThread {
 public:
  explicit HangingUpListener(QString path) : m_path(std::move(path)) {}
  std::atomic<int> connections = 0;
  std::atomic<bool> listening = false;

 protected:
  void run() override {
    QLocalServer server;
    QObject::connect(&server, &QLocalServer::newConnection, [&] {
      while (QLocalSocket* client = server.nextPendingConnection()) {
        ++connections;
        delete client;
      }
    });
    listening = server.listen(m_path);
    exec();
  }

 private:
  QString m_path;
};

TEST_F(InstanceTest, AStartWaitsLongerBetweenTriesOfAProgramThatHangsUp) {
  InstanceLock holder(lockPath());
  ASSERT_TRUE(holder.tryTake());
  HangingUpListener listener(socketPath());
  listener.start();
  while (!listener.listening && listener.isRunning()) QThread::msleep(10);
  ASSERT_TRUE(listener.listening);
  InstanceLock mine(lockPath());
  InstanceHandOver handOver(mine, {QStringLiteral("next")}, 1500ms, socketPath());
  const HandOverEnd end = runHandOver(handOver);
  listener.quit();
  listener.wait();
  EXPECT_FALSE(end.reply);
  EXPECT_TRUE(end.gaveUp.contains(lockPath())) << qPrintable(end.gaveUp);
  EXPECT_GE(listener.connections, 2) << "the start should try again";
  EXPECT_LE(listener.connections, 12) << "the start should not hammer the program";
}

// The lock file says where its holder listens; a socket in a folder others
// may write in is not asked.
TEST_F(InstanceTest, ASocketToldByTheLockInAFolderOthersMayWriteInIsNotAsked) {
  QTemporaryDir open;
  ASSERT_EQ(::chmod(QFile::encodeName(open.path()).constData(), 0777), 0);
  InstanceLock holder(lockPath(), open.filePath(QStringLiteral("nimbra-wallpaper.socket")));
  ASSERT_TRUE(holder.tryTake());
  InstanceLock mine(lockPath());
  InstanceHandOver handOver(mine, {QStringLiteral("next")}, 20s, socketPath());
  const HandOverEnd end = runHandOver(handOver);
  EXPECT_FALSE(end.reply);
  EXPECT_TRUE(end.gaveUp.contains(open.path())) << qPrintable(end.gaveUp);
}

// The environment of one start, put back when the test ends.
class InstanceFolder : public ::testing::Test {
 protected:
  void TearDown() override {
    qputenv("XDG_RUNTIME_DIR", m_savedRuntime);
    qputenv("TMPDIR", m_savedTemp);
  }
  // A start without a runtime folder, whose temporary folder is this test's.
  QString withoutRuntimeFolder() {
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
    return m_temp.path() + QStringLiteral("/nimbra-wallpaper-%1").arg(::geteuid());
  }
  static QString refusal() {
    QString error;
    EXPECT_FALSE(instanceRuntimeFolder(&error));
    return error;
  }

  QByteArray m_savedRuntime = qgetenv("XDG_RUNTIME_DIR");
  QByteArray m_savedTemp = qgetenv("TMPDIR");
  QTemporaryDir m_temp;
};

TEST_F(InstanceFolder, TheRuntimeFolderComesFromTheEnvironment) {
  QTemporaryDir runtime;
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  QString error;
  EXPECT_EQ(instanceRuntimeFolder(&error), runtime.path() + QLatin1Char('/')) << qPrintable(error);
  // A relative or missing runtime folder is not used: the fallback is made private.
  const QString fallback = withoutRuntimeFolder();
  qputenv("XDG_RUNTIME_DIR", "relative/folder");
  EXPECT_EQ(instanceRuntimeFolder(&error), fallback + QLatin1Char('/')) << qPrintable(error);
  struct stat info {};
  ASSERT_EQ(::lstat(QFile::encodeName(fallback).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0700u);
}

// Another user who makes the fallback folder first, open to all, or lays a
// link there, would receive every later start's request.
TEST_F(InstanceFolder, AFallbackFolderSomeoneElseCouldHaveMadeIsRefusedWithTheReason) {
  const QString folder = withoutRuntimeFolder();
  const QByteArray name = QFile::encodeName(folder);
  ASSERT_EQ(::mkdir(name.constData(), 0700), 0);
  ASSERT_EQ(::chmod(name.constData(), 0777), 0);
  QString why = refusal();
  EXPECT_TRUE(why.contains(folder) && why.contains(QStringLiteral("0777"))) << qPrintable(why);

  ASSERT_EQ(::rmdir(name.constData()), 0);
  QTemporaryDir target;  // private and ours, but reached through a link
  ASSERT_EQ(::symlink(QFile::encodeName(target.path()).constData(), name.constData()), 0);
  why = refusal();
  EXPECT_TRUE(why.contains(folder) && why.contains(QStringLiteral("link"))) << qPrintable(why);
}

TEST_F(InstanceFolder, AFolderOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
  const QString folder = withoutRuntimeFolder();
  const QByteArray name = QFile::encodeName(folder);
  ASSERT_EQ(::mkdir(name.constData(), 0700), 0);
  ASSERT_EQ(::chown(name.constData(), 65534, 65534), 0);
  const QString why = refusal();
  EXPECT_TRUE(why.contains(folder) && why.contains(QStringLiteral("65534"))) << qPrintable(why);

  // The same for a runtime folder that is not the user's own.
  QTemporaryDir runtime;
  ASSERT_EQ(::chown(QFile::encodeName(runtime.path()).constData(), 65534, 65534), 0);
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  EXPECT_TRUE(refusal().contains(runtime.path()));
}

TEST_F(InstanceFolder, ARuntimeFolderOthersMayWriteInIsRefused) {
  QTemporaryDir runtime;
  ASSERT_EQ(::chmod(QFile::encodeName(runtime.path()).constData(), 0777), 0);
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  EXPECT_TRUE(refusal().contains(runtime.path()));
}

// Two starts on one data folder find each other whatever their runtime
// folders, and so never work on the same files at once.
TEST_F(InstanceFolder, StartsOnOneDataFolderMeetWhateverTheirRuntimeFolders) {
  QTemporaryDir data;
  QTemporaryDir runtime;
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  QString error;
  const std::optional<InstanceChannel> running = instanceChannel(data.path() + QLatin1Char('/'), &error);
  ASSERT_TRUE(running) << qPrintable(error);
  withoutRuntimeFolder();
  const std::optional<InstanceChannel> later = instanceChannel(data.path() + QLatin1Char('/'), &error);
  ASSERT_TRUE(later) << qPrintable(error);
  EXPECT_EQ(later->lockPath, running->lockPath);
  EXPECT_TRUE(later->lockPath.startsWith(data.path()));

  InstanceLock holder(running->lockPath, running->socketPath);
  ASSERT_TRUE(holder.tryTake());
  InstanceLock mine(later->lockPath, later->socketPath);
  const HandOverEnd end = showToEchoingHolder(mine, later->socketPath, running->socketPath, 0ms);
  ASSERT_TRUE(end.reply) << qPrintable(end.gaveUp);
  EXPECT_EQ(end.reply->message, QStringLiteral("show"));
  EXPECT_FALSE(mine.held());
}

// Two copies of the program, each with a data folder of its own, run side by
// side in one runtime folder.
TEST_F(InstanceFolder, EachDataFolderHasAChannelOfItsOwn) {
  QTemporaryDir first;
  QTemporaryDir second;
  QString error;
  const std::optional<InstanceChannel> one = instanceChannel(first.path(), &error);
  const std::optional<InstanceChannel> other = instanceChannel(second.path(), &error);
  ASSERT_TRUE(one && other) << qPrintable(error);
  EXPECT_NE(one->socketPath, other->socketPath);
  InstanceLock oneLock(one->lockPath);
  InstanceLock otherLock(other->lockPath);
  EXPECT_TRUE(oneLock.tryTake());
  EXPECT_TRUE(otherLock.tryTake());
}
}  // namespace
