# Common compile options for every target of the project.
add_library(tracora_options INTERFACE)
target_compile_options(tracora_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Wimplicit-fallthrough)
if(TRACORA_WARNINGS_AS_ERRORS)
    target_compile_options(tracora_options INTERFACE -Werror)
endif()
if(TRACORA_SANITIZE_THREAD)
    target_compile_options(tracora_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(tracora_options INTERFACE -fsanitize=thread)
endif()
if(TRACORA_SANITIZE)
    target_compile_options(tracora_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(tracora_options INTERFACE -fsanitize=address,undefined)
endif()

# tracora_add_library(name SOURCES...) defines tracora_<name> with the alias tracora::<name>.
function(tracora_add_library name)
    add_library(tracora_${name} STATIC ${ARGN})
    add_library(tracora::${name} ALIAS tracora_${name})
    target_include_directories(tracora_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(tracora_${name} PUBLIC tracora_options)
endfunction()
