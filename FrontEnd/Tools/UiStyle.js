.pragma library

// Colours shared by the pages and dialogs.
var color_errorHint = "#E91E63"
var color_highlight = "#E91E63"
var color_hyperlink = "#2196F3"
var color_title = "#FFFFFF"
