<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>HttpGateway</name>
    <message>
        <source>There is no request to send.</source>
        <translation>没有要发送的请求。</translation>
    </message>
    <message>
        <source>The address of the advisory service is not configured (setting &quot;%1&quot; in group &quot;%2&quot; of the host configuration). Check the gateway address.</source>
        <translation>未配置咨询服务的地址（主机配置中“%2”组的“%1”设置）。请检查网关地址。</translation>
    </message>
    <message>
        <source>The request names neither an address nor a gateway API, so it cannot be sent.</source>
        <translation>请求既未指定地址也未指定网关接口，无法发送。</translation>
    </message>
    <message>
        <source>The address of the advisory service, &quot;%1&quot;, is not a valid http or https address. Check the gateway address.</source>
        <translation>咨询服务的地址“%1”不是有效的 http 或 https 地址。请检查网关地址。</translation>
    </message>
    <message>
        <source>The advisory service did not answer within %1 seconds. Please try again later.</source>
        <translation>咨询服务在 %1 秒内未响应，请稍后重试。</translation>
    </message>
    <message>
        <source>The advisory service answered with HTTP status %1. Please try again later.</source>
        <translation>咨询服务返回了 HTTP 状态 %1，请稍后重试。</translation>
    </message>
    <message>
        <source>The advisory service answered with HTTP status %1 (%2). Please try again later.</source>
        <translation>咨询服务返回了 HTTP 状态 %1（%2），请稍后重试。</translation>
    </message>
    <message>
        <source>The reply of the advisory service broke off: %1. Please try again later.</source>
        <translation>咨询服务的应答中断：%1。请稍后重试。</translation>
    </message>
    <message>
        <source>Could not connect to the advisory service at %1: %2. Check the network connection and the gateway address.</source>
        <translation>无法连接位于 %1 的咨询服务：%2。请检查网络连接和网关地址。</translation>
    </message>
    <message>
        <source>The connection to the advisory service at %1 failed: %2. Please try again later.</source>
        <translation>与位于 %1 的咨询服务的连接失败：%2。请稍后重试。</translation>
    </message>
    <message>
        <source>The request to the advisory service was cancelled because the connection to the service was shut down.</source>
        <translation>由于与咨询服务的连接已关闭，发往该服务的请求已取消。</translation>
    </message>
</context>
<context>
    <name>IHttpResponseDsm</name>
    <message>
        <source>The advisory service sent a reply that could not be read (%1 at offset %2). Please try again later.</source>
        <translation>咨询服务发送的应答无法读取（偏移 %2 处：%1）。请稍后重试。</translation>
    </message>
    <message>
        <source>The advisory service sent a reply of an unexpected form (not a JSON object). Please try again later.</source>
        <translation>咨询服务发送的应答格式不符（不是 JSON 对象）。请稍后重试。</translation>
    </message>
    <message>
        <source>The advisory service sent a reply without a result code. Please try again later.</source>
        <translation>咨询服务发送的应答缺少结果代码。请稍后重试。</translation>
    </message>
    <message>
        <source>The advisory service refused the request (code %1).</source>
        <translation>咨询服务拒绝了请求（代码 %1）。</translation>
    </message>
    <message>
        <source>The advisory service refused the request: %1 (code %2)</source>
        <translation>咨询服务拒绝了请求：%1（代码 %2）</translation>
    </message>
</context>
<context>
    <name>ImageUploadResponse</name>
    <message>
        <source>The image service did not return the address of the stored image.</source>
        <translation>图片服务未返回已存储图片的地址。</translation>
    </message>
</context>
<context>
    <name>UploadImageLabel</name>
    <message>
        <source>Delete image</source>
        <translation>删除图片</translation>
    </message>
    <message>
        <source>Uploading…</source>
        <translation>正在上传…</translation>
    </message>
</context>
<context>
    <name>ZorBaseDialog</name>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>ZorConsultDialog</name>
    <message>
        <source>Problem FeedBack</source>
        <translation>问题反馈</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>上传</translation>
    </message>
    <message>
        <source>Capture</source>
        <translation>截图</translation>
    </message>
    <message>
        <source>Upload a maximum of 5 files in JPG/PNG format and the size of the image is within 2M</source>
        <translation>最多上传 5 个 JPG/PNG 格式的文件，每张图片不超过 2M</translation>
    </message>
    <message>
        <source>Please enter your telephone number</source>
        <translation>请输入您的电话号码</translation>
    </message>
    <message>
        <source>%1/%2</source>
        <translation>%1/%2</translation>
    </message>
    <message>
        <source>Please select the type of question</source>
        <translation>请选择问题类型</translation>
    </message>
    <message>
        <source>Problem description is required</source>
        <translation>请填写问题描述</translation>
    </message>
    <message>
        <source>Cell phone number is required</source>
        <translation>请填写手机号码</translation>
    </message>
    <message>
        <source>Wrong cell phone number</source>
        <translation>手机号码有误</translation>
    </message>
    <message>
        <source>the type of question isn&apos;t available</source>
        <translation>该问题类型已不可用</translation>
    </message>
    <message>
        <source>Failed to get the problem type, please reopen the page</source>
        <translation>获取问题类型失败，请重新打开页面</translation>
    </message>
    <message>
        <source>Problem feedback submitted failed</source>
        <translation>问题反馈提交失败</translation>
    </message>
    <message>
        <source>Problem feedback submitted successfully</source>
        <translation>问题反馈提交成功</translation>
    </message>
    <message>
        <source>Image upload failed</source>
        <translation>图片上传失败</translation>
    </message>
    <message>
        <source>Choose Image</source>
        <translation>选择图片</translation>
    </message>
    <message>
        <source>The file exceeds the specified size</source>
        <translation>文件超过规定大小</translation>
    </message>
    <message>
        <source>File format error</source>
        <translation>文件格式错误</translation>
    </message>
    <message>
        <source>File opening failed</source>
        <translation>文件打开失败</translation>
    </message>
    <message>
        <source>ZorConsultDialog</source>
        <translation>ZorConsultDialog</translation>
    </message>
    <message>
        <source>Upload image:</source>
        <translation>上传图片：</translation>
    </message>
    <message>
        <source>Historical feedback record</source>
        <translation>历史反馈记录</translation>
    </message>
    <message>
        <source>Submit</source>
        <translation>提交</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Telephone number:</source>
        <translation>电话号码：</translation>
    </message>
    <message>
        <source>Please describe the problems you encounter in detail, so as to quickly locate and solve them</source>
        <translation>请详细描述您遇到的问题，以便快速定位并解决</translation>
    </message>
    <message>
        <source>Problem description:</source>
        <translation>问题描述：</translation>
    </message>
    <message>
        <source>Problem categroy:</source>
        <translation>问题分类：</translation>
    </message>
    <message>
        <source>Required. Press Space or Down to open the list of categories</source>
        <translation>必填。按空格键或向下键打开分类列表</translation>
    </message>
    <message>
        <source>Required, at most %1 characters</source>
        <translation>必填，最多 %1 个字符</translation>
    </message>
    <message>
        <source>Required, 11 digits</source>
        <translation>必填，11 位数字</translation>
    </message>
    <message>
        <source>Takes a picture of the screen</source>
        <translation>截取屏幕画面</translation>
    </message>
    <message>
        <source>Opens the history of your feedback in the browser</source>
        <translation>在浏览器中打开您的反馈历史</translation>
    </message>
    <message>
        <source>Ctrl+Enter submits from any field</source>
        <translation>在任意输入框中按 Ctrl+Enter 即可提交</translation>
    </message>
    <message>
        <source>Submitting…</source>
        <translation>正在提交…</translation>
    </message>
</context>
<context>
    <name>ZorConsultLogic</name>
    <message>
        <source>velorin login problem</source>
        <translation>velorin 登录问题</translation>
    </message>
    <message>
        <source>other system problem</source>
        <translation>其他系统问题</translation>
    </message>
    <message>
        <source>velorin client</source>
        <translation>velorin 客户端</translation>
    </message>
</context>
<context>
    <name>ZorImageLogic</name>
    <message>
        <source>The image upload did not finish within %1 ms.</source>
        <translation>图片上传未在 %1 毫秒内完成。</translation>
    </message>
    <message>
        <source>The image service answered with HTTP status %1 %2.</source>
        <translation>图片服务返回了 HTTP 状态 %1 %2。</translation>
    </message>
    <message>
        <source>The image service cannot be reached: %1</source>
        <translation>无法访问图片服务：%1</translation>
    </message>
    <message>
        <source>No valid image upload address is configured (&quot;%1&quot;).</source>
        <translation>未配置有效的图片上传地址（“%1”）。</translation>
    </message>
    <message>
        <source>The image file &quot;%1&quot; cannot be read: %2</source>
        <translation>无法读取图片文件“%1”：%2</translation>
    </message>
</context>
</TS>
