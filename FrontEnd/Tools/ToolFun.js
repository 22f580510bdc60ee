.pragma library

function isEmail(text) {
    return /^.+@[a-zA-Z0-9_-]+(\.[a-zA-Z0-9_-]+)+$/.test(text)
}

function isPhone(text) {
    return /^(13[0-9]|15[012356789]|17[678]|18[0-9]|14[57])[0-9]{8}$/.test(text)
}

// The local path of a folder dialog's URL: "file:///D:/Games" is "D:/Games" on Windows,
// "file:///home/u/Games" is "/home/u/Games" elsewhere.
function urlToLocalPath(url) {
    var text = decodeURIComponent(url.toString())
    if (text.indexOf("file://") === 0)
        text = text.substring(7)
    if (/^\/[A-Za-z]:/.test(text))
        text = text.substring(1)
    return text
}
