if(PILVO_SANITIZE)
  add_compile_options(-fsanitize=${PILVO_SANITIZE} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${PILVO_SANITIZE})
endif()
