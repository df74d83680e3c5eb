    *.csv) zaro-session summary "$1" && exit 0;;
