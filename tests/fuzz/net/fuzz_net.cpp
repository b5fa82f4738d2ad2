// Feeds arbitrary bytes to the client as the server's side of its connections. The input
// picks two requests to run, then holds the byte stream of the first connection (u16 length
// first) and of the connection that Login opens to the service server (the rest).
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "codecs/gbk_text.h"
#include "net/kavo_tcp_client.h"

namespace {

using namespace kavo;

struct Streams {
    std::vector<std::string> data;
    std::vector<int> peers;
    std::size_t next = 0;

    // One end of a fresh socket pair for the client; the other holds the scripted bytes and
    // is shut for writing, so the client meets the end of the stream instead of waiting.
    int Open() {
        int sv[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return -1;
        fcntl(sv[1], F_SETFL, O_NONBLOCK);
        if (next < data.size() && !data[next].empty()) {
            [[maybe_unused]] ssize_t r = write(sv[1], data[next].data(), data[next].size());
        }
        ++next;
        shutdown(sv[1], SHUT_WR);
        peers.push_back(sv[1]);
        return sv[0];
    }
    ~Streams() {
        for (int fd : peers) close(fd);
    }
};

std::deque<CRelData> SomeContacts() {
    std::deque<CRelData> list;
    for (int i = 0; i < 4; ++i) {
        CRelData c;
        SetField(c.RelName, "contact");
        SetField(c.Picture, "C:\\pic\\a.bmp");
        SetField(c.RelRemark, std::string(200 * i, 'r'));
        list.push_back(c);
    }
    return list;
}

void RunOne(CKavoTcpClient& client, std::uint8_t op) {
    switch (op % 20) {
        case 0:
            client.Login("user", "password");
            break;
        case 1:
            client.Register("user", "password", "13800000000");
            break;
        case 2:
            client.ChangePassword("user", "old", "new");
            break;
        case 3: {
            std::vector<CMsgData> v;
            client.DownloadNotices(v);
            break;
        }
        case 4: {
            std::vector<CSmsData> v;
            client.DownloadSms(v);
            break;
        }
        case 5: {
            std::vector<CAccountData> v;
            client.DownloadAccounts(v);
            break;
        }
        case 6: {
            std::vector<CHistoryData> v;
            client.DownloadHistory(v);
            break;
        }
        case 7: {
            std::deque<CRelData> list = SomeContacts();
            client.UploadContacts(list, op & 1);
            break;
        }
        case 8:
            client.ContactCount();
            break;
        case 9: {
            std::vector<CRelData> v;
            client.DownloadContacts(op, v);
            break;
        }
        case 10:
            client.DeleteContacts({"a", "b"});
            break;
        case 11:
            client.DeleteSms({1, 2, 3});
            break;
        case 12:
        case 13: {
            CAccountData a;
            SetField(a.AccountName, "game");
            client.ModifyAccount(a, op % 20 == 12);
            break;
        }
        case 14:
            client.DeleteAccount("game");
            break;
        case 15: {
            CMemberStatus s;
            client.MemberStatus(s);
            break;
        }
        case 16: {
            CStatisticsData s;
            client.ServerStatistics(s);
            break;
        }
        case 17:
            client.Drain();
            break;
        case 18: {
            bool alive;
            client.TryIsConnected(&alive);
            break;
        }
        default:
            client.IsDead();
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::uint8_t op1 = data[0], op2 = data[1];
    std::size_t first = data[2] | (data[3] << 8);
    data += 4;
    size -= 4;
    first = std::min(first, size);

    Streams streams;
    streams.data.emplace_back(reinterpret_cast<const char*>(data), first);
    streams.data.emplace_back(reinterpret_cast<const char*>(data + first), size - first);

    CKavoTcpClient client;
    CNetTimeouts t;
    t.ioMs = 50;
    t.drainMs = 50;
    t.livenessMs = 10;
    t.connectMs = 50;
    client.SetTimeouts(t);
    client.SetConnector([&](const std::string&, int) { return streams.Open(); });
    client.SetMessageHook([](const std::string&) {});
    client.Connect("fuzz", 1974);
    RunOne(client, op1);
    RunOne(client, op2);
    return 0;
}
