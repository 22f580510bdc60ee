.pragma library

// Display names of the products, by product code and language code.
var names = {
    "SkyTrainer": { "en": "Aviro Sky Trainer", "zh-CN": "Aviro 飞行训练" }
}

function displayName(productCode, langCode) {
    var table = names[productCode]
    if (table === undefined)
        return productCode
    return table[langCode] || table["en"] || table["zh-CN"] || productCode
}
