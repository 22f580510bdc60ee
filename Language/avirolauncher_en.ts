<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>CheckMd5Thread</name>
    <message>
        <source>文件无法打开，无法校验</source>
        <translation>File Error</translation>
    </message>
    <message>
        <source>文件校验已中止</source>
        <translation>Verification stopped</translation>
    </message>
    <message>
        <source>文件校验不通过</source>
        <translation>File verification fails</translation>
    </message>
</context>
<context>
    <name>DownloadStat</name>
    <message>
        <source>剩余：</source>
        <translation>Remaining:</translation>
    </message>
    <message>
        <source> 下载速度：</source>
        <translation>Download Speed:</translation>
    </message>
    <message>
        <source>长时间下载速度低</source>
        <translation>Download speed slow,please check your internet connection.</translation>
    </message>
</context>
<context>
    <name>FileDownloader</name>
    <message>
        <source>网络错误</source>
        <translation>Network Error</translation>
    </message>
    <message>
        <source>无法获取文件总长度</source>
        <translation>File Error</translation>
    </message>
    <message>
        <source>无法打开本地文件</source>
        <translation>File Error</translation>
    </message>
    <message>
        <source>写入文件错误</source>
        <translation>File Error</translation>
    </message>
    <message>
        <source>下载文件网络错误</source>
        <translation>Network Error</translation>
    </message>
    <message>
        <source>文件下载结束，大小不一致</source>
        <translation>File Error</translation>
    </message>
</context>
<context>
    <name>GameDownloader</name>
    <message>
        <source>安装包文件名无效</source>
        <translation>Invalid package file name</translation>
    </message>
    <message>
        <source>没有可下载的安装包</source>
        <translation>Nothing to download</translation>
    </message>
    <message>
        <source>获取安装包信息</source>
        <translation>Obtaining Installation Info</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
</context>
<context>
    <name>GameIPC</name>
    <message>
        <source>网络端口被占用</source>
        <translation>Network Adapter Occupied</translation>
    </message>
</context>
<context>
    <name>GameInstaller</name>
    <message>
        <source>安装包列表为空，无法安装</source>
        <translation>File Error</translation>
    </message>
    <message>
        <source>安装包列表不一致，无法安装</source>
        <translation>File Error</translation>
    </message>
    <message>
        <source>游戏目录无效，无法安装</source>
        <translation>File Error</translation>
    </message>
    <message>
        <source>校验版本：</source>
        <translation>Verifying:</translation>
    </message>
    <message>
        <source>安装版本：</source>
        <translation>Installation Version:</translation>
    </message>
    <message>
        <source>不支持安装包格式: </source>
        <translation>File Error:</translation>
    </message>
</context>
<context>
    <name>LauncherDownloader</name>
    <message>
        <source>安装包文件名无效</source>
        <translation>Invalid package file name</translation>
    </message>
    <message>
        <source>获取安装包信息</source>
        <translation>Obtaining Installation Info</translation>
    </message>
    <message>
        <source>没有可下载的安装包</source>
        <translation>Nothing to download</translation>
    </message>
    <message>
        <source>校验版本：</source>
        <translation>Verifying:</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
</context>
<context>
    <name>LauncherOp</name>
    <message>
        <source>无法启动游戏</source>
        <translation>Failed to start the game</translation>
    </message>
    <message>
        <source>检测启动器版本</source>
        <translation>Verifying Loader Version</translation>
    </message>
    <message>
        <source>登录Vomo账号</source>
        <translation>Login</translation>
    </message>
    <message>
        <source>创建产品服务会话</source>
        <translation>Creating service session</translation>
    </message>
    <message>
        <source>获取激活产品</source>
        <translation>Obtaining product code</translation>
    </message>
    <message>
        <source>获取版本信息</source>
        <translation>Obtaining Version Info</translation>
    </message>
    <message>
        <source>创建安装目录失败</source>
        <translation>File Error</translation>
    </message>
    <message>
        <source>指定安装目录无效</source>
        <translation>File Error</translation>
    </message>
    <message>
        <source>安装软件失败</source>
        <translation>Product installation failed </translation>
    </message>
    <message>
        <source>无法运行安装程序</source>
        <translation>Failed to run the launcher setup</translation>
    </message>
</context>
<context>
    <name>LoginOp</name>
    <message>
        <source>无法获得验证码图片</source>
        <translation>Failed to obtain graphic verification code</translation>
    </message>
    <message>
        <source>登录Vomo账号</source>
        <translation>Login</translation>
    </message>
    <message>
        <source>创建产品服务会话</source>
        <translation>Creating service session</translation>
    </message>
    <message>
        <source>获取激活产品</source>
        <translation>Obtaining product code</translation>
    </message>
</context>
<context>
    <name>NotesOp</name>
    <message>
        <source>获取版本信息</source>
        <translation>Obtaining Version Info</translation>
    </message>
    <message>
        <source>网络错误，无法获取版本信息</source>
        <translation>Network Error</translation>
    </message>
</context>
<context>
    <name>Proc7zOp</name>
    <message>
        <source>安装文件不存在，无法安装</source>
        <translation>Failed to install: File does not exist</translation>
    </message>
    <message>
        <source>安装路径不存在，无法安装</source>
        <translation>Failed to install: Local path does not exist</translation>
    </message>
    <message>
        <source>解包错误</source>
        <translation>Unpacking error </translation>
    </message>
    <message>
        <source>无法启动解压程序</source>
        <translation>Failed to start the extractor</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>无法启动</source>
        <translation>Failed to start.</translation>
    </message>
    <message>
        <source>无法解析Report的Json应答</source>
        <translation>Failed to analyze the son reply in Report.</translation>
    </message>
    <message>
        <source>密码错误</source>
        <translation>Invalid Password</translation>
    </message>
    <message>
        <source>用户不存在</source>
        <translation>Invalid Username</translation>
    </message>
    <message>
        <source>验证码错误</source>
        <translation>Wrong Verification Code</translation>
    </message>
    <message>
        <source>错误码：</source>
        <translation>Error Code:</translation>
    </message>
    <message>
        <source>无法解析版本信息</source>
        <translation>Failed to get version info.</translation>
    </message>
</context>
<context>
    <name>ShopAccountMng</name>
    <message>
        <source>创建会话失败</source>
        <translation>Failed to creating service session</translation>
    </message>
    <message>
        <source>会话ID为空</source>
        <translation>Failed to obtaining session ID</translation>
    </message>
    <message>
        <source>网络错误</source>
        <translation>Network Error</translation>
    </message>
    <message>
        <source>Json应答解析错误</source>
        <translation>File Error</translation>
    </message>
    <message>
        <source>产品代码无效</source>
        <translation>Invalid product code</translation>
    </message>
    <message>
        <source>网络请求错误</source>
        <translation>Network Error</translation>
    </message>
    <message>
        <source>未知类型安装包</source>
        <translation>File Error</translation>
    </message>
    <message>
        <source>Launcher版本列表为空</source>
        <translation>File Error</translation>
    </message>
</context>
<context>
    <name>VomoAccountMng</name>
    <message>
        <source>网络错误</source>
        <translation>Network Error</translation>
    </message>
    <message>
        <source>服务器应答无效</source>
        <translation>Invalid server reply</translation>
    </message>
    <message>
        <source>没有成功登陆过，无法自动登录</source>
        <translation>Network Error</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Vomo Skyworks</source>
        <translation>Vomo Skyworks</translation>
    </message>
</context>
</TS>
