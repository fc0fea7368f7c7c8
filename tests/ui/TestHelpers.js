.pragma library

// The first item below `item` (itself included) with that objectName.
function find(item, name) {
    if (!item)
        return null
    if (item.objectName === name)
        return item
    var kids = item.children || []
    for (var i = 0; i < kids.length; ++i) {
        var found = find(kids[i], name)
        if (found)
            return found
    }
    return null
}

// The texts of every visible item below `item`, controls' labels included.
function visibleTexts(item, into) {
    into = into || []
    if (!item || !item.visible)
        return into
    if (typeof item.text === "string" && item.text !== "")
        into.push(item.text)
    var kids = item.children || []
    for (var i = 0; i < kids.length; ++i)
        visibleTexts(kids[i], into)
    return into
}

function sameColor(a, b) {
    return Math.abs(a.r - b.r) < 0.01 && Math.abs(a.g - b.g) < 0.01
        && Math.abs(a.b - b.b) < 0.01 && Math.abs(a.a - b.a) < 0.01
}
