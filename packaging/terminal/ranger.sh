        ## Track session logs: the preview card as an image when image previews are on, else the summary
        csv)
            if [[ "${PV_IMAGE_ENABLED}" == 'True' ]] && zaro-session summary "${FILE_PATH}" >/dev/null 2>&1; then
                zaro-session-preview "${FILE_PATH}" "${IMAGE_CACHE_PATH}" >/dev/null 2>&1 && exit 6
            fi
            zaro-session summary "${FILE_PATH}" && exit 5
            ;; # Continue with next handler on failure
