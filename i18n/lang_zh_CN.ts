<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>DownloaderObj</name>
    <message>
        <source>错误</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>无法保存文件 %1: %2.</source>
        <translation>无法保存文件 %1: %2.</translation>
    </message>
    <message>
        <source>用户取消了下载</source>
        <translation>用户取消了下载</translation>
    </message>
    <message>
        <source>下载过程发生了错误</source>
        <translation>下载过程发生了错误</translation>
    </message>
    <message>
        <source>下载过程发生了错误,错误值:%1</source>
        <translation>下载过程发生了错误,错误值:%1</translation>
    </message>
    <message>
        <source>下载过程发生了错误,重定向次数过多</source>
        <translation>下载过程发生了错误,重定向次数过多</translation>
    </message>
    <message>
        <source>下载过程发生了错误,重定向地址无效</source>
        <translation>下载过程发生了错误,重定向地址无效</translation>
    </message>
</context>
<context>
    <name>NetworkHelper</name>
    <message>
        <source>The reply is larger than %1 bytes</source>
        <translation>回复超过 %1 字节</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>获取配置错误。</source>
        <translation>获取配置错误。</translation>
    </message>
    <message>
        <source>获取登录二维码。</source>
        <translation>获取登录二维码。</translation>
    </message>
    <message>
        <source>获取登录状态。</source>
        <translation>获取登录状态。</translation>
    </message>
    <message>
        <source>获取头像错误。</source>
        <translation>获取头像错误。</translation>
    </message>
    <message>
        <source>获取用户信息错误。</source>
        <translation>获取用户信息错误。</translation>
    </message>
    <message>
        <source>未知请求出错。</source>
        <translation>未知请求出错。</translation>
    </message>
    <message>
        <source>请求:</source>
        <translation>请求:</translation>
    </message>
    <message>
        <source>错误码:</source>
        <translation>错误码:</translation>
    </message>
    <message>
        <source>, 释义: </source>
        <translation>, 释义: </translation>
    </message>
    <message>
        <source>, 是否联系客服处理？: </source>
        <translation>, 是否联系客服处理？: </translation>
    </message>
    <message>
        <source>提示</source>
        <translation>提示</translation>
    </message>
</context>
<context>
    <name>app</name>
    <message>
        <source>Printer administration</source>
        <translation>打印机管理</translation>
    </message>
    <message>
        <source>%1
Password for %2:</source>
        <translation>%1
%2 的密码：</translation>
    </message>
    <message>
        <source>The web engine could not start.</source>
        <translation>网页引擎无法启动。</translation>
    </message>
</context>
</TS>
