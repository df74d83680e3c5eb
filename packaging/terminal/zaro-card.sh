# zaro-card FILE: the preview card of a session file, drawn in the terminal. In kitty, with its own
# picture protocol (icat needs ImageMagick); elsewhere with chafa, which uses the terminal's protocol
# when it has one (sixels, kitty's, iTerm's) and draws with characters otherwise.
zaro-card() {
    if [ -n "${KITTY_WINDOW_ID-}" ]; then
        zaro-session-preview "$1" - 2>/dev/null | kitty +kitten icat --stdin=yes --transfer-mode=stream
    else
        zaro-session-preview "$1" - 2>/dev/null | chafa -
    fi
}
