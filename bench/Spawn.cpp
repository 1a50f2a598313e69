#include "bench/Spawn.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace quillon::bench {

namespace {

[[noreturn]] void systemError(const QString &what) {
  throw std::runtime_error(QStringLiteral("%1: %2")
                               .arg(what, QString::fromLocal8Bit(std::strerror(errno)))
                               .toStdString());
}

// Our environment with the command's changes.
std::vector<QByteArray> environmentFor(const Command &command) {
  std::vector<QByteArray> entries;
  for (char **e = environ; *e; ++e) {
    const QByteArray entry(*e);
    const QString name = QString::fromLocal8Bit(entry.left(entry.indexOf('=')));
    if (command.env.find(name) == command.env.end())
      entries.push_back(entry);
  }
  for (const auto &[name, value] : command.env)
    if (!value.isNull())
      entries.push_back((name + QLatin1Char('=') + value).toLocal8Bit());
  return entries;
}

} // namespace

double now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

QString Outcome::failure() const {
  QString what = signal ? QStringLiteral("killed by signal %1").arg(signal)
                        : QStringLiteral("exit status %1").arg(exitCode);
  QList<QByteArray> lines = err.trimmed().split('\n');
  if (lines.size() > 6)
    lines = lines.mid(lines.size() - 6);
  const QString tail = QString::fromLocal8Bit(lines.join('\n')).trimmed();
  return tail.isEmpty() ? what : what + QStringLiteral(": ") + tail;
}

QString Outcome::field(const QString &key) const {
  const QByteArray prefix = key.toUtf8() + '=';
  for (const QByteArray &line : out.split('\n'))
    if (line.startsWith(prefix))
      return QString::fromUtf8(line.mid(prefix.size())).trimmed();
  return {};
}

Child::Child(const Command &command) {
  int outPipe[2] = {-1, -1};
  int errPipe[2] = {-1, -1};
  if (command.stderrPath.isEmpty() && pipe2(errPipe, O_CLOEXEC) != 0)
    systemError(QStringLiteral("pipe"));
  if (command.stdoutPath.isEmpty() && pipe2(outPipe, O_CLOEXEC) != 0)
    systemError(QStringLiteral("pipe"));

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const QByteArray stdoutPath = QFile::encodeName(command.stdoutPath);
  if (command.stdoutPath.isEmpty())
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const QByteArray stderrPath = QFile::encodeName(command.stderrPath);
  if (command.stderrPath.isEmpty())
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  else
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);

  QStringList argList = command.argv;
  peakFile_ = command.peakFile;
  if (!peakFile_.isEmpty())
    argList = QStringList{QStringLiteral("/usr/bin/time"),
                          QStringLiteral("-q"),
                          QStringLiteral("-f"),
                          QStringLiteral("%M"),
                          QStringLiteral("-o"),
                          peakFile_} +
              argList;
  std::vector<QByteArray> args;
  for (const QString &arg : argList)
    args.push_back(arg.toLocal8Bit());
  std::vector<char *> argv;
  for (QByteArray &arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<QByteArray> env = environmentFor(command);
  std::vector<char *> envp;
  for (QByteArray &entry : env)
    envp.push_back(entry.data());
  envp.push_back(nullptr);

  start_ = now();
  const int rc = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  for (int fd : {outPipe[1], errPipe[1]})
    if (fd >= 0)
      close(fd);
  outFd_ = outPipe[0];
  errFd_ = errPipe[0];
  if (rc != 0) {
    errno = rc;
    for (int fd : {outFd_, errFd_})
      if (fd >= 0)
        close(fd);
    outFd_ = errFd_ = -1;
    systemError(QStringLiteral("cannot start %1").arg(argList.value(0)));
  }
}

Child::~Child() {
  if (!reaped_) {
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (outFd_ >= 0)
    close(outFd_);
  if (errFd_ >= 0)
    close(errFd_);
}

void Child::drain(int timeoutMs) {
  pollfd fds[2];
  int count = 0;
  for (int fd : {outFd_, errFd_})
    if (fd >= 0)
      fds[count++] = {fd, POLLIN, 0};
  if (count == 0 || poll(fds, nfds_t(count), timeoutMs) <= 0)
    return;
  for (int i = 0; i < count; ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
      continue;
    char buffer[65536];
    const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
    const bool isOut = fds[i].fd == outFd_;
    if (n > 0) {
      (isOut ? outcome_.out : outcome_.err).append(buffer, n);
    } else {
      close(fds[i].fd);
      (isOut ? outFd_ : errFd_) = -1;
    }
  }
}

bool Child::exited() {
  if (reaped_)
    return true;
  drain(0);
  int status = 0;
  rusage usage{};
  if (wait4(pid_, &status, WNOHANG, &usage) != pid_)
    return false;
  reaped(status, usage);
  return true;
}

void Child::reaped(int status, const rusage &usage) {
  outcome_.seconds = now() - start_;
  outcome_.peakKb = usage.ru_maxrss;
  if (WIFEXITED(status))
    outcome_.exitCode = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    outcome_.signal = WTERMSIG(status);
  reaped_ = true;
}

void Child::kill(int signal) {
  if (!reaped_)
    ::kill(pid_, signal);
}

const QByteArray &Child::output(int timeoutMs) {
  drain(timeoutMs);
  return outcome_.out;
}

Outcome Child::finish() {
  while (outFd_ >= 0 || errFd_ >= 0)
    drain(-1);
  readPeak();
  if (!reaped_) {
    int status = 0;
    rusage usage{};
    while (wait4(pid_, &status, 0, &usage) < 0)
      if (errno != EINTR)
        systemError(QStringLiteral("wait"));
    reaped(status, usage);
    readPeak();
  }
  return outcome_;
}

void Child::readPeak() {
  if (peakFile_.isEmpty() || !reaped_)
    return;
  QFile file(peakFile_);
  if (!file.open(QIODevice::ReadOnly))
    return;
  // The last line holds the figure; "Command exited ..." may come first.
  const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
  bool ok = false;
  const qint64 kb = lines.last().trimmed().toLongLong(&ok);
  if (ok)
    outcome_.peakKb = kb;
  peakFile_.clear();
}

Outcome run(const Command &command) {
  Child child(command);
  return child.finish();
}

} // namespace quillon::bench
