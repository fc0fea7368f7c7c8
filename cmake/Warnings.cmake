# Every target of the project is built with these warnings.
add_compile_options(-Wall -Wextra)
