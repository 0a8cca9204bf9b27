#include "api/NetworkErrorText.h"

#include <QHash>

namespace {

const QHash<int, QString> &errorTexts()
{
    static const QHash<int, QString> texts = {
        {1, QStringLiteral("远程服务器拒绝了连接")},
        {2, QStringLiteral("远程服务器过早的关闭了连接")},
        {3, QStringLiteral("找不到服务器（请检查网络连接）")},
        {4, QStringLiteral("连接超时")},
        {5, QStringLiteral("网络超时")},
        {6, QStringLiteral("SSL/TLS 握手失败，无法建立加密的通道")},
        {7, QStringLiteral("然而系统已开始漫游到另一个接入点，连接已断开由于从网络断开连接。请求应"
                           "重新提交，并将尽快重新建立连接时进行处理。")},
        {8, QStringLiteral("由于网络未能启动或网络断开连接被中断。")},
        {9, QStringLiteral("当前平台策略不允许背景请求。")},
        {99, QStringLiteral("未知的与网络相关的错误")},
        {101, QStringLiteral("代理服务器的连接被拒绝(代理服务器不接受请求)")},
        {102, QStringLiteral("代理服务器关闭了连接过早之前整个答复是接收和处理")},
        {103, QStringLiteral("未找到代理主机名称(无效的代理主机名)")},
        {104, QStringLiteral("连接到代理服务器超时或代理没有回答在发送的请求的时间")},
        {105, QStringLiteral("代理服务器需要身份验证才能履行请求但并没有接受任何凭据提供(如果有)")},
        {199, QStringLiteral("检测到未知的与代理有关的错误。")},
        {201, QStringLiteral("对远程内容访问被拒绝 ")},
        {202, QStringLiteral("不允许对远程内容请求的操作")},
        {203, QStringLiteral("在服务器上找不到远程内容")},
        {204, QStringLiteral("远程服务器要求身份验证服务内容，但提供的凭据不被接受(如果有)")},
        {205, QStringLiteral("该请求需要再次发送但这失败例如因为不能读取上载数据第二次。")},
        {206, QStringLiteral("由于与资源的当前状态有冲突，无法完成请求。")},
        {207, QStringLiteral("所请求的资源不再是服务器上可用的。")},
        {299, QStringLiteral("检测到远程内容相关的未知的错误。")},
        {301, QStringLiteral("网络访问 API 不能履行的请求，因为不知道议定书 ")},
        {302, QStringLiteral("对于本议定书所请求的操作无效")},
        {399, QStringLiteral("协议中的故障检测(解析错误，无效的或意外的反应，等等)。")},
        {401, QStringLiteral("服务器遇到意外的情况，阻止它执行请求。")},
        {402, QStringLiteral("服务器不支持完成请求所需的功能。")},
        {403, QStringLiteral("服务器将无法在这个时候处理该请求。")},
        {499, QStringLiteral("检测到与服务器响应未知的错误")},
    };
    return texts;
}

} // namespace

QString networkErrorText(int code) { return errorTexts().value(code); }

bool isNetworkErrorText(const QString &text)
{
    return !text.isEmpty() && errorTexts().key(text, 0) != 0;
}

QString sessionExpiredText() { return QStringLiteral("登录已失效，请重新登录"); }

QString unreadableReplyText() { return QStringLiteral("服务器返回了无法识别的内容，请稍后重试"); }
