#pragma once
// The program's TCP server over any BSD-like socket interface: the connection table, the poll,
// and the bounds that keep hostile or broken clients from tying up the program. Each network
// adapter instantiates it with its system's sockets (see SocketApi below); no system header is
// included here.
//
// struct SocketApi {
//   using Socket = ...;  static constexpr Socket kInvalid = ...;
//   static Socket Listen(int port);                 // bound to every IPv4 interface, backlog 100,
//                                                   // non-blocking, exclusive; kInvalid on failure
//   static Socket Accept(Socket listener, std::uint32_t& peer);  // non-blocking; kInvalid when
//                                   // none is pending; peer: first octet in the lowest byte, or 0
//   static void Close(Socket s);
//   static void Shutdown(Socket s);                 // wakes every thread waiting on it
//   static int LocalPort(Socket s);
//   // One look at every socket, without waiting, and what it found for each; false on failure.
//   static bool Look(const std::vector<Socket>& sockets, std::vector<Readiness>& found);
//   static int Recv(Socket s, unsigned char* bytes, int length, bool peek);  // >0, 0 closed,
//                                                                            // -1 none yet, -2 failed
//   static int Send(Socket s, const unsigned char* bytes, int length);       // >=0, -1 full, -2 failed
//   static void WaitReadable(Socket s, int timeoutMs);
//   static void WaitWritable(Socket s, int timeoutMs);
//   static bool StartUp();  static void CleanUp();  // the socket layer
//   static void Rearm();             // from here on, activity signals again (e.g. an event reset)
//   static bool MaybeActive();       // false only when nothing can have happened since Rearm()
//   static std::string HostName();
//   static std::optional<std::string> ReverseLookup(std::uint32_t address);
// };
#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/network.h"

namespace tv {

// What one look at a socket found.
enum class Readiness : unsigned char {
  Quiet,       // nothing to read
  Data,        // bytes wait (on a listener: a connection waits to be accepted)
  Gone,        // the client closed or reset the connection and nothing is left to read
  DataOrGone,  // readable, and only a peek tells bytes from the end
};

template <typename Api>
class SocketServer {
 public:
  using Socket = typename Api::Socket;
  using Clock = std::chrono::steady_clock;

  // More open connections than this are refused at once; a connection without data for this
  // long is closed, so silent clients cannot pile up.
  static constexpr std::size_t kMaxConnections = 1024;
  static constexpr Clock::duration kIdleLimit = std::chrono::seconds(60);
  static constexpr Clock::duration kSendLimit = std::chrono::seconds(5);
  static constexpr Clock::duration kLookAnyway = std::chrono::milliseconds(50);
  static constexpr Clock::duration kReportAgain = std::chrono::milliseconds(50);

  ~SocketServer() { Close(); }

  bool Create(int port) {
    if (port < 0 || port > 65535) return false;
    Close();
    const Socket listener = Api::Listen(port);
    if (listener == Api::kInvalid) return false;
    std::lock_guard guard(lock_);
    listener_ = listener;
    return true;
  }

  void Close() {
    // What the last look found belongs to the polling thread; it forgets it at its next poll.
    closed_ = true;
    std::map<ClientId, std::shared_ptr<Connection>> closing;
    Socket listener = Api::kInvalid;
    {
      std::lock_guard guard(lock_);
      closing.swap(connections_);
      std::swap(listener, listener_);
    }
    for (auto& [id, connection] : closing) connection->Shut();
    if (listener != Api::kInvalid) Api::Close(listener);
  }

  int Port() {
    std::lock_guard guard(lock_);
    return listener_ == Api::kInvalid ? 0 : Api::LocalPort(listener_);
  }

  // One event a call, never waiting. Connections waiting to be accepted come first. One look at
  // every socket finds what there is to report; the calls after it report that, one event each,
  // and the next look comes once it is all reported. A look costs a round trip through the
  // system for all sockets together, so under load most polls make no system call at all.
  ServerEvent Poll() {
    Socket listener;
    {
      std::lock_guard guard(lock_);
      listener = listener_;
    }
    if (closed_.exchange(false)) {
      acceptWaiting_ = false;
      waiting_.clear();
      gone_ = 0;
      newcomer_ = false;
      lastLook_ = {};
    }
    if (listener == Api::kInvalid) return ServerEvent::Nothing;
    bool looked = false;
    if (NothingFound()) {
      Look(listener);
      looked = true;
    }
    if (acceptWaiting_) {
      std::uint32_t peer = 0;
      const Socket accepted = Api::Accept(listener, peer);
      if (accepted != Api::kInvalid) {
        // At the cap, connections whose clients have gone make room first.
        if (Count() >= kMaxConnections) Look(listener, /*always=*/true);
        std::lock_guard guard(lock_);
        if (connections_.size() >= kMaxConnections) {
          Api::Close(accepted);
          return ServerEvent::Nothing;
        }
        eventClient_ = ++lastId_;
        connections_.emplace(eventClient_, std::make_shared<Connection>(accepted, peer));
        // Its bytes may have come before it was accepted, and their signal with them.
        newcomer_ = true;
        return ServerEvent::Accepted;
      }
      // Every waiting connection is accepted: the connections, as they are now, come next.
      acceptWaiting_ = false;
      if (!looked && NothingFound()) Look(listener);
    }
    CloseIdleConnections();
    while (!waiting_.empty()) {
      const ClientId client = waiting_.front();
      waiting_.pop_front();
      const std::shared_ptr<Connection> connection = Find(client);
      if (!connection) continue;
      connection->Touch();
      connection->reportedAt = Clock::now().time_since_epoch().count();
      std::lock_guard guard(lock_);
      eventClient_ = lastReported_ = client;
      return ServerEvent::DataWaiting;
    }
    if (gone_ == 0) return ServerEvent::Nothing;
    std::lock_guard guard(lock_);
    eventClient_ = lastReported_ = std::exchange(gone_, 0);
    return ServerEvent::Closed;
  }

  ClientId EventClient() {
    std::lock_guard guard(lock_);
    return eventClient_;
  }

  void CloseClient(ClientId client) {
    std::shared_ptr<Connection> connection;
    {
      std::lock_guard guard(lock_);
      auto found = connections_.find(client);
      if (found == connections_.end()) return;
      connection = found->second;
      connections_.erase(found);
    }
    connection->Shut();
  }

  // A peek takes what has arrived into the connection's own read-ahead, and a receive takes from
  // there first: a handler that peeks at its head and then receives exactly the head costs one
  // call to the system, not two. Bytes left in the read-ahead are the connection's as if they
  // were still in the socket: a look reports them as data waiting.
  int Receive(ClientId client, std::span<unsigned char> buffer, bool peek) {
    const std::shared_ptr<Connection> connection = Find(client);
    if (!connection || connection->shut) return -1;
    connection->Touch();
    std::lock_guard guard(connection->readLock);
    std::string& ahead = connection->ahead;
    int got = 0;
    if (ahead.empty() || (peek && ahead.size() < buffer.size())) {
      unsigned char more[4096];
      const std::size_t room = std::min(sizeof more, buffer.size() - (peek ? ahead.size() : 0));
      got = Api::Recv(connection->socket, more, Length(room), /*peek=*/false);
      if (got > 0) ahead.append(reinterpret_cast<const char*>(more), static_cast<std::size_t>(got));
    }
    if (ahead.empty()) return got == -1 ? 0 : -1;
    const std::size_t n = std::min(ahead.size(), buffer.size());
    std::copy_n(ahead.data(), n, reinterpret_cast<char*>(buffer.data()));
    if (!peek) {
      ahead.erase(0, n);
      connection->reportedAt = 0;
    }
    connection->hasAhead = !ahead.empty();
    return static_cast<int>(n);
  }

  void WaitReadable(ClientId client, int timeoutMs) {
    const std::shared_ptr<Connection> connection = Find(client);
    if (!connection || connection->shut || connection->hasAhead) return;
    connection->Touch();
    Api::WaitReadable(connection->socket, timeoutMs);
  }

  int Send(ClientId client, std::span<const unsigned char> bytes) {
    const std::shared_ptr<Connection> connection = Find(client);
    if (!connection || connection->shut) return -1;
    connection->Touch();
    const auto deadline = Clock::now() + kSendLimit;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const int n = Api::Send(connection->socket, bytes.data() + sent, Length(bytes.size() - sent));
      if (n == -2 || connection->shut) return sent > 0 ? static_cast<int>(sent) : -1;
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
        continue;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      Api::WaitWritable(connection->socket, static_cast<int>(std::min<long long>(left, 100)));
    }
    return static_cast<int>(sent);
  }

  std::uint32_t PeerAddress(ClientId client) {
    const std::shared_ptr<Connection> connection = Find(client);
    return connection && !connection->shut ? connection->peer : 0;
  }

 private:
  // Lives while the table or a handler holds it; the socket closes with the last holder, so a
  // handler never works on a socket number that was reused meanwhile.
  struct Connection {
    // The peer's address comes with the connection: asking for it again would cost a system call.
    Connection(Socket s, std::uint32_t peerAddress)
        : socket(s), peer(peerAddress), lastActive(Clock::now().time_since_epoch().count()) {}
    ~Connection() { Api::Close(socket); }
    void Touch() { lastActive = Clock::now().time_since_epoch().count(); }
    bool RecentlyReported(Clock::time_point now) const {
      const auto at = reportedAt.load();
      return at != 0 && now.time_since_epoch() - typename Clock::duration(at) < kReportAgain;
    }
    void Shut() {
      shut = true;
      Api::Shutdown(socket);
    }
    const Socket socket;
    const std::uint32_t peer;
    std::atomic<bool> shut{false};
    std::atomic<typename Clock::rep> lastActive;
    // When a poll last reported data waiting, 0 once a receive has taken bytes since.
    std::atomic<typename Clock::rep> reportedAt{0};
    // Bytes taken from the socket by a peek and not yet received, under readLock.
    std::mutex readLock;
    std::string ahead;
    std::atomic<bool> hasAhead{false};
  };

  static int Length(std::size_t size) { return static_cast<int>(std::min<std::size_t>(size, 1 << 30)); }

  std::shared_ptr<Connection> Find(ClientId client) {
    std::lock_guard guard(lock_);
    auto found = connections_.find(client);
    return found == connections_.end() ? nullptr : found->second;
  }

  bool NothingFound() const { return !acceptWaiting_ && waiting_.empty() && gone_ == 0; }

 public:
  [[nodiscard]] bool HasFoundEvents() const { return !NothingFound(); }

 private:

  std::size_t Count() {
    std::lock_guard guard(lock_);
    return connections_.size();
  }

  // Looks at the listener and every connection at once, taking turns from the one after the last
  // reported so that one busy connection cannot hide the others: notes whether a connection waits
  // to be accepted and which connections have data waiting, and forgets every connection whose
  // client has gone (one of them is reported). All of them: new connections come after the last
  // reported, so a look that stopped early would never get back to the old ones while new ones
  // keep coming, and their sockets would pile up to the cap. Without a sign of activity since the
  // last look there is nothing to find, and the look is left out, but for one every kLookAnyway
  // (data that waits after its handler has ended gives no new sign, a second request for example).
  void Look(Socket listener, bool always = false) {
    const auto now = Clock::now();
    if (!always && !newcomer_ && !Api::MaybeActive() && now - lastLook_ < kLookAnyway) return;
    lastLook_ = now;
    newcomer_ = false;
    // Before the look: whatever happens after it signals again.
    Api::Rearm();
    std::vector<std::pair<ClientId, std::shared_ptr<Connection>>> order;
    {
      std::lock_guard guard(lock_);
      order.reserve(connections_.size());
      for (auto it = connections_.upper_bound(lastReported_); it != connections_.end(); ++it) order.emplace_back(*it);
      for (auto it = connections_.begin(); it != connections_.end() && it->first <= lastReported_; ++it) {
        order.emplace_back(*it);
      }
    }
    std::vector<Socket> sockets;
    sockets.reserve(order.size() + 1);
    sockets.push_back(listener);
    for (auto& [id, connection] : order) sockets.push_back(connection->socket);
    std::vector<Readiness> found;
    if (!Api::Look(sockets, found)) return;
    acceptWaiting_ = found[0] == Readiness::Data || found[0] == Readiness::DataOrGone;
    waiting_.clear();
    std::vector<std::shared_ptr<Connection>> gone;
    for (std::size_t i = 0; i < order.size(); ++i) {
      Readiness seen = order[i].second->hasAhead ? Readiness::Data : found[i + 1];
      if (seen == Readiness::DataOrGone) {
        unsigned char byte;
        const int peeked = Api::Recv(order[i].second->socket, &byte, 1, /*peek=*/true);
        seen = peeked > 0 ? Readiness::Data : peeked == -1 ? Readiness::Quiet : Readiness::Gone;
      }
      // Bytes that a poll reported a moment ago and nobody has taken yet are the same bytes: their
      // handler is on its way. Reported again, they would only start handlers that find the
      // connection being served; after kReportAgain they are reported all the same.
      if (seen == Readiness::Data && !order[i].second->RecentlyReported(now)) waiting_.push_back(order[i].first);
      if (seen != Readiness::Gone) continue;
      if (gone_ == 0) gone_ = order[i].first;
      gone.push_back(order[i].second);
      std::lock_guard guard(lock_);
      connections_.erase(order[i].first);
    }
    for (auto& connection : gone) connection->Shut();
  }

  void CloseIdleConnections() {
    const auto now = Clock::now();
    if (now - lastSweep_ < std::chrono::seconds(1)) return;
    lastSweep_ = now;
    std::vector<std::shared_ptr<Connection>> idle;
    {
      std::lock_guard guard(lock_);
      for (auto it = connections_.begin(); it != connections_.end();) {
        const auto quiet = now.time_since_epoch() - typename Clock::duration(it->second->lastActive.load());
        if (quiet > kIdleLimit) {
          idle.push_back(it->second);
          it = connections_.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (auto& connection : idle) connection->Shut();
  }

  std::mutex lock_;
  Socket listener_ = Api::kInvalid;
  std::map<ClientId, std::shared_ptr<Connection>> connections_;
  ClientId lastId_ = 0;
  ClientId eventClient_ = 0;
  ClientId lastReported_ = 0;
  Clock::time_point lastSweep_{};
  std::atomic<bool> closed_{false};  // Close() ran since the last poll
  // What the latest look found and the polls since have not reported yet (the polling thread's).
  bool acceptWaiting_ = false;
  std::deque<ClientId> waiting_;
  ClientId gone_ = 0;
  bool newcomer_ = false;
  Clock::time_point lastLook_{};
};

// The network port over a socket interface: the server above, the socket layer and host names.
template <typename Api>
class SocketNetwork : public Network {
 public:
  void StartSockets() override { started_ = Api::StartUp(); }
  void CleanupSockets() override {
    server_.Close();
    if (started_) Api::CleanUp();
    started_ = false;
  }
  bool CreateServer(int port) override { return server_.Create(port); }
  void CloseServer() override { server_.Close(); }
  int ServerPort() override { return server_.Port(); }
  ServerEvent PollServer() override { return server_.Poll(); }
  // Whether the latest look found events that polls have not reported yet (the polling thread's).
  [[nodiscard]] bool HasFoundEvents() const { return server_.HasFoundEvents(); }
  ClientId EventClient() override { return server_.EventClient(); }
  void CloseClient(ClientId client) override { server_.CloseClient(client); }
  int Receive(ClientId client, std::span<unsigned char> buffer) override {
    return server_.Receive(client, buffer, false);
  }
  int Peek(ClientId client, std::span<unsigned char> buffer) override { return server_.Receive(client, buffer, true); }
  void WaitReadable(ClientId client, int timeoutMs) override { server_.WaitReadable(client, timeoutMs); }
  int Send(ClientId client, std::span<const unsigned char> bytes) override { return server_.Send(client, bytes); }
  std::uint32_t PeerAddress(ClientId client) override { return server_.PeerAddress(client); }
  std::string HostName() override { return Api::HostName(); }
  std::optional<std::string> ReverseLookup(std::uint32_t address) override { return Api::ReverseLookup(address); }

 private:
  SocketServer<Api> server_;
  bool started_ = false;
};

}  // namespace tv
