# fish completion for kymdl
set -l subcommands check show lookup convert ddl reflect diff apply diagram doc

complete -c kymdl -f
complete -c kymdl -n "not __fish_seen_subcommand_from $subcommands" -l help -d 'Print the help'
complete -c kymdl -n "not __fish_seen_subcommand_from $subcommands" -l version -d 'Print the version'
complete -c kymdl -n "not __fish_seen_subcommand_from $subcommands" -a check -d 'Load model files and report every problem found'
complete -c kymdl -n "not __fish_seen_subcommand_from $subcommands" -a show -d 'Print the classes of a model as tables'
complete -c kymdl -n "not __fish_seen_subcommand_from $subcommands" -a lookup -d 'Tell what a class or field name resolves to'
complete -c kymdl -n "not __fish_seen_subcommand_from $subcommands" -a convert -d 'Rewrite a model file as YAML or JSON'
complete -c kymdl -n "not __fish_seen_subcommand_from $subcommands" -a ddl -d 'Print the CREATE TABLE statements of a model'
complete -c kymdl -n "not __fish_seen_subcommand_from $subcommands" -a reflect -d "Write a model file of a live database's tables"
complete -c kymdl -n "not __fish_seen_subcommand_from $subcommands" -a diff -d "Print the migration from one model or database to another"
complete -c kymdl -n "not __fish_seen_subcommand_from $subcommands" -a apply -d 'Migrate a database to a model in one transaction'
complete -c kymdl -n "not __fish_seen_subcommand_from $subcommands" -a diagram -d 'Draw the classes of a model'
complete -c kymdl -n "not __fish_seen_subcommand_from $subcommands" -a doc -d 'Write a browsable documentation site of a model'

complete -c kymdl -n "__fish_seen_subcommand_from $subcommands" -l help -d 'Print the help'
complete -c kymdl -s q -l quiet -d 'Print errors only'
complete -c kymdl -s v -l verbose -d 'Also say what was done'
complete -c kymdl -l color -x -a 'auto always never' -d 'Colour the severity words'
complete -c kymdl -n "__fish_seen_subcommand_from check show lookup convert ddl diff apply diagram doc" -F -k -a "(__fish_complete_suffix .yaml .yml .json)"
complete -c kymdl -n "__fish_seen_subcommand_from check" -l strict -d 'Fail on warnings too'
complete -c kymdl -n "__fish_seen_subcommand_from check" -l format -x -a 'text json sarif' -d 'Output format'
complete -c kymdl -n "__fish_seen_subcommand_from show lookup" -l format -x -a 'text json' -d 'Output format'
complete -c kymdl -n "__fish_seen_subcommand_from lookup" -l aliases -d 'Search aliases too'
complete -c kymdl -n "__fish_seen_subcommand_from lookup" -l bases -d 'Search base classes for the field'
complete -c kymdl -n "__fish_seen_subcommand_from ddl diff" -l dialect -x -a 'sqlite postgresql' -d 'SQL dialect'
complete -c kymdl -n "__fish_seen_subcommand_from ddl reflect diff diagram" -s o -l output -r -F -d 'Write to this file'
complete -c kymdl -n "__fish_seen_subcommand_from reflect" -l case-sensitive -d 'Keep names as the database spells them'
complete -c kymdl -n "__fish_seen_subcommand_from reflect" -l timeout -x -d 'Seconds to wait at most'
complete -c kymdl -n "__fish_seen_subcommand_from reflect" -l schema -x -d 'PostgreSQL: a schema read (may repeat)'
complete -c kymdl -n "__fish_seen_subcommand_from reflect" -l include -x -d 'Only tables matching this pattern'
complete -c kymdl -n "__fish_seen_subcommand_from reflect" -l exclude -x -d 'Leave out tables matching this pattern'
complete -c kymdl -n "__fish_seen_subcommand_from reflect" -x -a 'sqlite: postgresql://'
complete -c kymdl -n "__fish_seen_subcommand_from diff apply" -a 'sqlite: postgresql://'
complete -c kymdl -n "__fish_seen_subcommand_from diff" -l format -x -a 'sql text json' -d 'Plan format'
complete -c kymdl -n "__fish_seen_subcommand_from diff" -l exit-code -d 'Exit with status 1 when there is any difference'
complete -c kymdl -n "__fish_seen_subcommand_from diff apply" -l rename -x -d 'OLD=NEW: a table or column renamed (may repeat)'
complete -c kymdl -n "__fish_seen_subcommand_from apply" -l allow-destructive -d 'Run steps that can lose data'
complete -c kymdl -n "__fish_seen_subcommand_from apply" -l dry-run -d 'Print the plan and run nothing'
complete -c kymdl -n "__fish_seen_subcommand_from apply" -l timeout -x -d 'Seconds one statement or a wait for a lock may take'
complete -c kymdl -n "__fish_seen_subcommand_from diagram" -l format -x -a 'dot mermaid svg png' -d 'Diagram format'
complete -c kymdl -n "__fish_seen_subcommand_from diagram" -l classes -x -d 'Only these classes, comma-separated'
complete -c kymdl -n "__fish_seen_subcommand_from doc" -s o -l output -x -a "(__fish_complete_directories)" -d "The site's folder"
complete -c kymdl -n "__fish_seen_subcommand_from doc" -l no-diagrams -d 'Leave the diagrams out'
complete -c kymdl -n "__fish_seen_subcommand_from doc" -l force -d 'Write into a folder that holds files of others'
