#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "net/kavo_tcp_client.h"

namespace kavo {
namespace {

namespace fs = std::filesystem;

class ServerListTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kavo_net_cfg_XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& text) {
        std::string path = (dir_ / "KAVO.cfg").string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    fs::path dir_;
    CKavoTcpClient client;
};

TEST_F(ServerListTest, AllThreeSlotsComeFromTheIpElement) {
    std::string path = Write(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<Config>\n  <IP SvrIP0=\"10.0.0.1\" SvrIP1='login.example' SvrIP2=\"127.0.0.1\"/>\n"
        "</Config>\n");
    EXPECT_TRUE(client.LoadServerList(path));
    EXPECT_EQ(client.ServerHost(0), "10.0.0.1");
    EXPECT_EQ(client.ServerHost(1), "login.example");
    EXPECT_EQ(client.ServerHost(2), "127.0.0.1");
}

TEST_F(ServerListTest, MissingAttributesEmptyTheirSlots) {
    client.SetServerHost(1, "kept?");
    EXPECT_TRUE(client.LoadServerList(Write("<Root><IP SvrIP0=\"127.0.0.1\"/></Root>")));
    EXPECT_EQ(client.ServerHost(0), "127.0.0.1");
    EXPECT_EQ(client.ServerHost(1), "");
    EXPECT_EQ(client.ServerHost(2), "");
}

TEST_F(ServerListTest, UnusableFilesLeaveTheBuiltInList) {
    const std::string builtIn = client.ServerHost(0);
    EXPECT_FALSE(client.LoadServerList((dir_ / "absent.cfg").string()));
    EXPECT_FALSE(client.LoadServerList(Write("<Root><Other SvrIP0=\"1.2.3.4\"/></Root>")));
    EXPECT_FALSE(client.LoadServerList(Write("<Root><IP SvrIP0=\"1.2.3.4\"></Other>")));
    EXPECT_EQ(client.ServerHost(0), builtIn);
    EXPECT_EQ(client.ServerHost(0), "127.0.0.1");
}

}  // namespace
}  // namespace kavo
