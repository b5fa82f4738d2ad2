#include "net/result_codes.h"

#include <cstdio>

namespace kavo {
namespace {

const char* Template(int code) {
    switch (code) {
        case 2:
            return "(%X)注册用户名已存在";
        case 23:
            return "(%X)用户名不存在，请核对后重新登录!";
        case 24:
            return "(%X)密码错误超过10次，请12小时后再登录!";
        case 25:
            return "(%X)用户密码错误，请确认后再输入!";
        case 26:
            return "(%X)无法连接远程服务器";
        case 54:
            return "(%X)您输入的充值序列号不存在，请核对后再输入!";
        case 55:
            return "(%X)您的账户余额不足，请及时充值!";
        case 85:
            return "(%X)更换服务类型失败，请先升级!";
        case 116:
        case 117:
            return "(%X)服务器发送数据暂缓，请稍后再试!";
        case 118:
        case 119:
            return "(%X)暂时无法查询相关数据，请稍后再试!";
        case 120:
            return "(%X)无法查询到可用数据，检查是否已被您删除!";
        case 121:
            return "(%X)短信数据无法识别，请重新操作!";
        case 122:
            return "(%X)该用户名已在其他位置登录，请确认后再试!";
        case 123:
            return "(%X)数据长度错误";
        case 124:
            return "(%X)登录密码错误，请确认后再输入!";
        case 125:
            return "(%X)用户名不存在，请核对后重新登录!";
        case 126:
            return "(%X)服务器IP地址错误";
        case 127:
            return "(%X)您储存的联系人数量超出服务限制，请充值升级!";
        case 128:
            return "(%X)您储存的短信数量超出服务限制，请充值升级!";
        case 129:
            return "(%X)账号名称长度错误";
        default:
            return "(%X)未定义的错误";
    }
}

}  // namespace

std::string ResultMessage(int code) {
    char buf[256];
    std::snprintf(buf, sizeof(buf), Template(code), static_cast<unsigned>(code));
    return buf;
}

}  // namespace kavo
