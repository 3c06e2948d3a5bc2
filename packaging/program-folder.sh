# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the launchers: prepares a per-user program folder. The program
# reads its catalogue, texts and pictures from its current directory and
# writes its settings, log and working files there.

# The launcher sets kvq_prefix.
kvq_share="$kvq_prefix/share/kvq-nyra"

# zh_CN for Chinese locales, en otherwise (the first locale variable set wins).
kvq_language() {
    for value in "${LC_ALL:-}" "${LC_MESSAGES:-}" "${LANG:-}"; do
        if [ -n "$value" ]; then
            case "$value" in
                zh*) echo zh_CN ;;
                *) echo en ;;
            esac
            return
        fi
    done
    echo en
}

# A link to a shipped file, renewed each start so that an upgrade reaches it;
# a real file or folder of the user's under that name is left alone.
kvq_link() {
    if [ -L "$2" ] || [ ! -e "$2" ]; then
        ln -sfn "$1" "$2"
    fi
}

kvq_prepare_folder() {
    folder=$1
    mkdir -p "$folder"
    language=$(kvq_language)
    kvq_link "$kvq_share/database.dat" "$folder/database.dat"
    kvq_link "$kvq_share/CODE" "$folder/CODE"
    kvq_link "$kvq_share/sound" "$folder/sound"
    kvq_link "$kvq_share/manual/$language/KVQ_Nyra.html" "$folder/KVQ_Nyra.html"
    # The texts are the user's to edit: copied once, then kept.
    for name in ftext.ini itext.ini; do
        if [ ! -e "$folder/$name" ]; then
            cp "$kvq_share/lang/$language/$name" "$folder/$name.new"
            mv "$folder/$name.new" "$folder/$name"
        fi
    done
}

kvq_data_home() {
    if [ -n "${XDG_DATA_HOME:-}" ]; then
        echo "$XDG_DATA_HOME"
    elif [ -n "${HOME:-}" ]; then
        echo "$HOME/.local/share"
    else
        echo "kvq-nyra: neither XDG_DATA_HOME nor HOME is set" >&2
        exit 1
    fi
}
