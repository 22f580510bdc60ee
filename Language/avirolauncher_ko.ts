<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR" sourcelanguage="zh_CN">
<context>
    <name>CheckMd5Thread</name>
    <message>
        <source>文件无法打开，无法校验</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件校验已中止</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件校验不通过</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DownloadCore</name>
    <message>
        <source>暂停</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DownloadStat</name>
    <message>
        <source>剩余：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> 下载速度：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>长时间下载速度低</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DownloadUI</name>
    <message>
        <source>暂停</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>继续</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FileDownloader</name>
    <message>
        <source>网络错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法获取文件总长度</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法打开本地文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>写入文件错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>下载文件网络错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件下载结束，大小不一致</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>磁盘已满，无法写入：%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>文件比服务器声明的大小更长</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Footer</name>
    <message>
        <source>登录器版本: </source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>GameDownloader</name>
    <message>
        <source>安装包文件名无效</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有可下载的安装包</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>获取安装包信息</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法打开本地文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>磁盘空间不足：%1 需要 %2 MB，只有 %3 MB 可用</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>GameIPC</name>
    <message>
        <source>网络端口被占用</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>UDP 端口 127.0.0.1:%1 已被另一个程序占用</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>GameInstaller</name>
    <message>
        <source>安装包列表为空，无法安装</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>安装包列表不一致，无法安装</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>游戏目录无效，无法安装</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>校验版本：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>安装版本：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>不支持安装包格式: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>游戏目录中的链接：%1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Header</name>
    <message>
        <source>用户登录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>选项</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>设置</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FAQ</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>操作说明</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>InstallLauncherUI</name>
    <message>
        <source>安装</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>最新版本：</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>InstallUI</name>
    <message>
        <source>安 装</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>安装路径：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>更改</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>至少所需空间：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>已经安装？</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>找到游戏安装位置</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>选择安装目录</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LauncherDownloader</name>
    <message>
        <source>安装包文件名无效</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>获取安装包信息</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有可下载的安装包</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>校验版本：</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LauncherOp</name>
    <message>
        <source>无法启动游戏</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>检测启动器版本</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>登录Vomo账号</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>创建产品服务会话</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>获取激活产品</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>获取版本信息</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>创建安装目录失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>指定安装目录无效</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>安装软件失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法运行安装程序</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有能打开启动器安装包的程序</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有选择安装目录</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法在此创建文件夹：%1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LoginDlg</name>
    <message>
        <source>用户登录</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LoginOp</name>
    <message>
        <source>无法获得验证码图片</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>登录Vomo账号</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>创建产品服务会话</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>获取激活产品</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NotesDlg</name>
    <message>
        <source>版本说明</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NotesOp</name>
    <message>
        <source>获取版本信息</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>网络错误，无法获取版本信息</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PageVomoAccount</name>
    <message>
        <source>该项不能为空</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>手机或邮箱地址无效</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>邮箱地址无效</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>手机或者邮箱</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>邮箱</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>密码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>验证码</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>换一张</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>始终让我保持登陆状态</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>登陆</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>注册</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>忘记密码？</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>隐私条款</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>用户协议</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>验证码图片：输入图中的四位数字，看不清可按“换一张”</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Proc7zOp</name>
    <message>
        <source>安装文件不存在，无法安装</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>安装路径不存在，无法安装</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>解包错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法启动解压程序</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>磁盘已满，无法解包：%1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>无法启动</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法解析Report的Json应答</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>密码错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>用户不存在</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>验证码错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>错误码：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法解析版本信息</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RestClient</name>
    <message>
        <source>服务器应答超时</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>服务器应答过大</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>连接被 %1 拒绝</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>找不到主机：%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>服务器的证书不受信任</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HTTP %1，来自 %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 没有及时应答</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RunGameUI</name>
    <message>
        <source>运行游戏</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>当前版本：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>查看</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>版本说明</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ServerConfig</name>
    <message>
        <source>服务器地址无效：[Servers] %1=%2（应为 %3）</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SettingDlg</name>
    <message>
        <source>语言</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>画质</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>低</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>中</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>高</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>最佳</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>分辨率</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>窗口模式</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>全屏</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>窗口</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>摇杆模式</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>美国手</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>日本手</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>中国手</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>建议：低配电脑选择低画质，低分辨率</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>设置</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ShopAccountMng</name>
    <message>
        <source>创建会话失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>会话ID为空</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>网络错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Json应答解析错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>产品代码无效</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>网络请求错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>未知类型安装包</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Launcher版本列表为空</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UpdateLauncherUI</name>
    <message>
        <source>更 新</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>最新版本：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>当前版本：</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UpdateVerUI</name>
    <message>
        <source>更 新</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>最新版本：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>当前版本：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>查看</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>版本说明</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VomoAccountMng</name>
    <message>
        <source>网络错误</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>服务器应答无效</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有成功登陆过，无法自动登录</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WaitLoginUI</name>
    <message>
        <source>请先登录账号</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Vomo Skyworks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>错误提示</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>重试</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>中止</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>警告提示</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确定</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>正在安装，请稍后再关闭</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
