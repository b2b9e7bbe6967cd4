# fish completion for lystora-list

complete -c lystora-list -s t -l type -x -a '0\t"the files of SOURCE_DIR only" 1\t"and the names of its sub-folders" 2\t"and the files of every sub-folder"' -d 'What the list holds'
complete -c lystora-list -s p -l pattern -x -d 'Files to list, wildcards separated by ;'
complete -c lystora-list -s e -l ext -d 'Keep the extension of each file name'
complete -c lystora-list -l no-ext -d 'Drop the extension of each file name'
complete -c lystora-list -l html -d 'Make an HTML page'
complete -c lystora-list -l text -d 'Make plain text'
complete -c lystora-list -l title -x -d 'Title of the HTML page'
complete -c lystora-list -l base-url -x -d 'Make each file a download link under URL'
complete -c lystora-list -l no-links -d 'No download links'
complete -c lystora-list -l time -d 'Date and time of making in the header'
complete -c lystora-list -l no-time -d 'No date and time in the header'
complete -c lystora-list -l list-lang -x -a 'en fr' -d 'Language of the list header and footer'
complete -c lystora-list -l format -x -a 'classic page m3u8 json' -d 'What TARGET_FILE holds'
# FORMAT:PATH: the formats first, then the paths after the colon.
function __lystora_list_also
    set -l word (commandline -ct)
    if string match -q -- '*:*' $word
        set -l format (string split -m1 : -- $word)[1]
        for path in (__fish_complete_path (string split -m1 : -- $word)[2])
            echo $format:$path
        end
    else
        printf '%s\n' page: m3u8: json:
    end
end
complete -c lystora-list -l also -x -a '(__lystora_list_also)' -d 'Also make FORMAT:PATH, FORMAT page, m3u8 or json'
complete -c lystora-list -l no-also -d 'None of the stored extra lists'
complete -c lystora-list -l tags -d 'Read the tags and lengths of the files'
complete -c lystora-list -l no-tags -d 'Do not read tags'
complete -c lystora-list -l tag-limits -x -d 'What reading one file\'s tags may cost: memory=512M,cpu=5s,time=30s,size=4G'
complete -c lystora-list -l forget-unreadable -d 'Read again the files kept as unreadable'
complete -c lystora-list -l covers -d "Show each folder's picture on the page"
complete -c lystora-list -l no-covers -d 'No pictures on the page'
complete -c lystora-list -l sort -x -a 'name natural' -d 'Order of the names'
complete -c lystora-list -l dry-run -d 'Say what would be written, write nothing'
complete -c lystora-list -s f -l force -d 'Replace an existing TARGET_FILE without asking'
complete -c lystora-list -l every -x -d 'Make the list again every MINUTES minutes'
complete -c lystora-list -l watch -d 'Make the list again whenever files change'
complete -c lystora-list -s q -l quiet -d 'Say nothing but errors'
complete -c lystora-list -s h -l help -d 'Show the help'
complete -c lystora-list -l version -d 'Show the version'
