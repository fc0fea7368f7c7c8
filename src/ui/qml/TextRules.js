.pragma library

// Text rules of the login screen. Characters are counted as the student sees
// them: combining marks, variation selectors, skin tones and zero-width-joined
// parts belong to the character before them, and a pair of regional
// indicators (a flag) is one character.

function isExtending(codePoint) {
    return (codePoint >= 0x0300 && codePoint <= 0x036F) || (codePoint >= 0x1AB0 && codePoint <= 0x1AFF)
        || (codePoint >= 0x1DC0 && codePoint <= 0x1DFF) || (codePoint >= 0x20D0 && codePoint <= 0x20FF)
        || (codePoint >= 0xFE00 && codePoint <= 0xFE0F) || (codePoint >= 0xFE20 && codePoint <= 0xFE2F)
        || (codePoint >= 0x1F3FB && codePoint <= 0x1F3FF) || (codePoint >= 0xE0020 && codePoint <= 0xE007F)
        || (codePoint >= 0xE0100 && codePoint <= 0xE01EF) || codePoint === 0x200D
}

function isRegionalIndicator(codePoint) {
    return codePoint >= 0x1F1E6 && codePoint <= 0x1F1FF
}

// The user-perceived characters of `text`, in order.
function characters(text) {
    var result = []
    var previous = 0
    var pairOpen = false
    for (var i = 0; i < text.length; ++i) {
        var codePoint = text.charCodeAt(i)
        var piece = text[i]
        // A surrogate pair is one code point.
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 1 < text.length) {
            var low = text.charCodeAt(i + 1)
            if (low >= 0xDC00 && low <= 0xDFFF) {
                codePoint = (codePoint - 0xD800) * 0x400 + (low - 0xDC00) + 0x10000
                piece = text.substr(i, 2)
                ++i
            }
        }
        var joins = (result.length > 0 && isExtending(codePoint)) || previous === 0x200D
            || (pairOpen && isRegionalIndicator(codePoint)) || (previous === 0x0D && codePoint === 0x0A)
        if (joins)
            result[result.length - 1] += piece
        else
            result.push(piece)
        pairOpen = isRegionalIndicator(codePoint) && !(joins && pairOpen)
        previous = codePoint
    }
    return result
}

function characterCount(text) {
    return characters(text).length
}

// One pass of the class-code rule: at most 6 characters, then upper case.
// Run again on its own result it changes nothing more.
function correctedClassCode(text) {
    var pieces = characters(text)
    var kept = pieces.length > 6 ? pieces.slice(0, 6).join("") : text
    return kept.toUpperCase()
}

// The login needs a 6-character code and a name of at least 2 characters,
// and no login under way.
function canLogin(isLoading, studentName, classCode) {
    return !isLoading && characterCount(classCode) === 6 && characterCount(studentName) >= 2
}
