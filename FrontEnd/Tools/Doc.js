.pragma library

// Documents on the document server, by language code; the base URL comes from the settings.
var documents = {
    "terms": { "en": "Doc/term_use/en.pdf", "zh-CN": "Doc/term_use/zh.pdf" },
    "privacy": { "en": "Doc/privacy/en.pdf", "zh-CN": "Doc/privacy/zh.pdf" },
    "manual": { "en": "Doc/manual/manual_en.pdf", "zh-CN": "Doc/manual/manual_cn.pdf" }
}

function path(document, langCode) {
    var table = documents[document] || {}
    return table[langCode] || table["en"] || table["zh-CN"] || ""
}

function url(baseUrl, document, langCode) {
    var p = path(document, langCode)
    return p === "" ? "" : baseUrl + "/" + p
}
